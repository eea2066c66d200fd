#!/usr/bin/env bash
# quorvanexctl ping inside a network namespace of its own (nothing outside it
# and 127.0.0.0/8 is addressed): loopback, a silent neighbour (a static entry
# no host answers), a host name, a switched-off server, no ICMP socket.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/ctl_lib.sh"
silent=10.254.0.2

servers() {  # dir, then "enabled address" pairs
  local dir=$1 i=0; shift
  printf '[Config]\r\nCount=%d\r\n' $(($# / 2)) >"$dir/quorvanex.ini"
  while [ $# -gt 0 ]; do
    i=$((i + 1))
    printf '[Quorvanex_%d]\r\nEnabled=%s\r\nServer=%s\r\n' $i "$1" "$2" >>"$dir/quorvanex.ini"
    shift 2
  done
}
line() { grep "^$1 " <<<"$ctl_out"; }

inside() {
  set -e
  ip link set lo up
  ip link add qv0 type veth peer name qv1
  ip addr add 10.254.0.1/24 dev qv0
  ip link set qv0 up
  ip link set qv1 up
  ip neigh add $silent lladdr 02:00:00:00:00:02 dev qv0 nud permanent
  set +e
  if [ "$QV_PLATFORM" = win32 ]; then
    export WINEPREFIX=$(e2e_tmpdir)/prefix
    unset DISPLAY
    trap 'qv_wineserver -k >/dev/null 2>&1; rm -rf "$QV_E2E_TMP"' EXIT
    qv_wine_prefix </dev/null
    qv_persistent_wineserver
  else
    sysctl -qw net.ipv4.ping_group_range="1 0"  # root pings through the raw socket
  fi

  d=$(e2e_tmpdir)
  ctl_folder "$d"
  servers "$d" 1 $silent 1 127.0.0.1 1 server01 0 127.0.0.2
  ctl_in "$d" ping
  echo "$ctl_out"
  check "ping: exit 0 when one answered ($ctl_rc)" [ "$ctl_rc" = 0 ]
  ms=$(line 1 | sed -nE 's/.*: no answer \(([0-9]+) ms\)$/\1/p')
  check "ping: the silent server gives no answer after about 3 s (${ms:-?} ms)" \
    [ "${ms:-0}" -ge 2500 -a "${ms:-0}" -le 8000 ]
  check "ping: loopback answers" grep -qE '^2  127\.0\.0\.1: answered in [0-9]+ ms$' <<<"$ctl_out"
  check "ping: a host name cannot be pinged" grep -q '^3  server01: cannot ping: not an IPv4 address' <<<"$ctl_out"
  check "ping: a switched-off server is not pinged" grep -q '^4  127\.0\.0\.2: switched off, not pinged$' <<<"$ctl_out"

  servers "$d" 1 $silent
  ctl_in "$d" ping
  check "ping: exit 1 when none answered ($ctl_rc)" [ "$ctl_rc" = 1 ]

  if [ "$QV_PLATFORM" = posix ]; then
    # No raw socket and no datagram range: the reason, and no wait.
    servers "$d" 1 127.0.0.1
    chmod 755 "$QV_E2E_TMP" "$d"
    out=$(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all \
      "$ctl_bin" --dir "$d" ping)
    rc=$?
    echo "$out"
    check "ping without an ICMP socket: exit 1 ($rc)" [ "$rc" = 1 ]
    check "ping without an ICMP socket: cannot ping, with the reason" \
      grep -q '^1  127.0.0.1: cannot ping: no ICMP datagram socket.*CAP_NET_RAW' <<<"$out"
  fi
  finish
}

if [ "${1:-}" = --inside ]; then
  inside
fi
unshare --net bash -c 'ip link add qv0 type veth peer name qv1' 2>/dev/null ||
  skip "network namespaces with veth links are not permitted here"
rm -rf "$QV_E2E_TMP"  # exec skips the exit trap; the inner run makes its own
exec unshare --net bash "$0" --inside
