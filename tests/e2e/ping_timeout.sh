#!/usr/bin/env bash
# PingAddress against hosts that exist only inside network namespaces this
# script creates: a silent neighbour (time-out after about 3 s), a router that
# reports the destination unreachable (false at once) and loopback. Natively
# both socket kinds are covered; under Wine the wineserver and everything it
# starts run inside the namespace, in a prefix of their own. Then the Monitor
# with ten silent servers: Enter during the sweep ends it before the next
# server instead of after ten time-outs.
# Nothing outside 127.0.0.0/8 and these namespaces is ever addressed.
source "$(dirname "$0")/lib.sh"

silent=10.254.0.2       # neighbour entry on a veth whose peer has no address
unreachable=10.254.9.9  # routed to the second namespace, which rejects it

# Runs the probe for $1; sets probe_ok (0 answered, 1 not) and probe_ms.
probe() {
  local out
  if [ "$QV_PLATFORM" = win32 ]; then
    out=$(qv_wine "$probe_exe" "$1" </dev/null 2>/dev/null)
  else
    out=$("${probe_prefix[@]}" "$probe_exe" "$1")
  fi
  probe_ok=$?
  [[ $out == answered* || $out == "no answer"* ]] || probe_ok=2  # the probe did not run
  probe_ms=$(sed -E 's/.* ([0-9]+).*/\1/' <<<"$out" | tr -d '\r')
  probe_ms=${probe_ms:-0}
  echo "  $1 -> ${out//$'\r'/} (exit $probe_ok)"
}
expect_answer() { probe "$1"; check "$2: $1 answers" [ "$probe_ok" -eq 0 ]; }
expect_timeout() {
  probe "$1"
  check "$2: $1 gives false" [ "$probe_ok" -eq 1 ]
  check "$2: after about 3 s (${probe_ms} ms)" [ "$probe_ms" -ge 2500 -a "$probe_ms" -le 8000 ]
}
# Other echoes and errors about other requests reach a raw socket too; they
# must neither answer nor end the wait for the silent host.
expect_timeout_amid_noise() {
  (while :; do
    "$probe_exe" 127.0.0.1 >/dev/null
    "$probe_exe" $unreachable >/dev/null
    sleep 0.05
  done) &
  local noise=$!
  expect_timeout "$1" "$2"
  kill "$noise"
  wait "$noise" 2>/dev/null
}
expect_fast_false() {
  probe "$1"
  check "$2: $1 gives false" [ "$probe_ok" -eq 1 ]
  check "$2: without waiting for the time-out (${probe_ms} ms)" [ "$probe_ms" -lt 2000 ]
}

# The Monitor in console mode over ten silent servers (one time-out of 3 s
# each): Enter a second after the first echo request left. Echo requests are
# all that leaves through qv0, so its packet count is the number of pings.
sweep_stop() {
  local d i pid started ended rc before sent
  d=$(e2e_tmpdir)
  cp "$QV_BIN/Monitor$QV_EXE" "$d/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n' >"$d/config.ini"
  printf '[Config]\r\nCount=10\r\n' >"$d/quorvanex.ini"
  for i in $(seq 1 10); do
    printf '[Quorvanex_%d]\r\nEnabled=1\r\nServer=10.254.0.%d\r\n' "$i" $((i + 1)) >>"$d/quorvanex.ini"
  done
  before=$(sent_on_qv0)
  mkfifo "$d/in"
  (cd "$d" && run_program "$(program_path "$d/Monitor$QV_EXE")" console <"$d/in" >/dev/null 2>&1) &
  pid=$!
  exec 5>"$d/in"
  # Under Wine the worker's COM start-up may take a while first.
  wait_for "[ \$(sent_on_qv0) -gt $before ]" 60 || fail "sweep: the first echo request left"
  sleep 1
  started=$(date +%s%N)
  echo >&5
  exec 5>&-
  wait "$pid"
  rc=$?
  ended=$((($(date +%s%N) - started) / 1000000))
  sent=$(($(sent_on_qv0) - before))
  echo "  Enter during a sweep of ten silent servers: the run ended ${ended} ms later, $sent pinged"
  # The ping under way runs out (3 s); the nine others would add 27 s.
  check "sweep: Enter ends the sweep before the next server (${ended} ms)" [ "$ended" -lt 12000 ]
  check "sweep: the servers after the stop were not pinged ($sent of 10)" [ "$sent" -le 2 ]
  check "sweep: exit code 0" [ "$rc" -eq 0 ]
  check "sweep: stop logged, no threshold line" stop_logged_without_threshold "$d/log/log.txt"
}
# Packets sent through qv0 (/proc/net/dev is this namespace's; /sys is not).
sent_on_qv0() { awk '/^ *qv0:/ {sub(/.*:/, ""); print $10}' /proc/net/dev; }
stop_logged_without_threshold() {
  local text
  text=$(log_text "$1")
  grep -q '|停止$' <<<"$text" && ! grep -q 'しきい値' <<<"$text"
}

inside() {
  set -e
  ip link set lo up
  # Second namespace: a router that answers for 10.254.9.0/24 with "unreachable".
  unshare --net sleep 600 &
  router=$!
  trap 'kill $router 2>/dev/null; rm -rf "$QV_E2E_TMP"' EXIT
  sleep 0.2
  rns=(nsenter --net=/proc/$router/ns/net)
  ip link add qv0 type veth peer name qv1
  ip addr add 10.254.0.1/24 dev qv0
  sysctl -qw net.ipv6.conf.qv0.disable_ipv6=1  # nothing but our echo requests leaves through it
  ip link set qv0 up
  ip link set qv1 up
  ip neigh add $silent lladdr 02:00:00:00:00:02 dev qv0 nud permanent
  for i in $(seq 3 11); do  # more silent hosts for the sweep
    ip neigh add 10.254.0.$i lladdr 02:00:00:00:00:02 dev qv0 nud permanent
  done
  ip link add qv2 type veth peer name qv3 netns "$router"
  ip addr add 10.254.1.1/24 dev qv2
  ip link set qv2 up
  "${rns[@]}" ip link set lo up
  "${rns[@]}" ip addr add 10.254.1.2/24 dev qv3
  "${rns[@]}" ip link set qv3 up
  "${rns[@]}" sysctl -qw net.ipv4.ip_forward=1
  "${rns[@]}" ip route add unreachable 10.254.9.0/24
  ip route add 10.254.9.0/24 via 10.254.1.2
  # No default route: anything else has nowhere to go.
  set +e

  if [ "$QV_PLATFORM" = win32 ]; then
    export WINEPREFIX=$(e2e_tmpdir)/prefix
    unset DISPLAY
    trap 'qv_wineserver -k >/dev/null 2>&1; kill $router 2>/dev/null; rm -rf "$QV_E2E_TMP"' EXIT
    qv_wine_prefix </dev/null
    qv_persistent_wineserver
    probe_exe=$(program_path "$QV_BIN/ping_probe.exe")
    expect_answer 127.0.0.1 "Wine"
    expect_timeout $silent "Wine"
    expect_fast_false $unreachable "Wine"
    sweep_stop
    qv_wineserver -k
  else
    work=$(e2e_tmpdir)
    install -m 755 "$QV_BIN/ping_probe" "$work/ping_probe"
    probe_exe=$work/ping_probe
    chmod 755 "$QV_E2E_TMP" "$work"  # the unprivileged probe runs from here
    probe_prefix=()
    echo "raw socket (root):"
    expect_answer 127.0.0.1 "raw"
    expect_timeout $silent "raw"
    expect_fast_false $unreachable "raw"
    expect_timeout_amid_noise $silent "raw, other ICMP traffic meanwhile"

    # An unprivileged user gets no raw socket; the widened range lets it
    # have an ICMP datagram socket.
    probe_prefix=(setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all)
    echo "no socket at all (unprivileged, ping_group_range 1 0):"
    sysctl -qw net.ipv4.ping_group_range="1 0"
    expect_fast_false 127.0.0.1 "no socket"
    sysctl -qw net.ipv4.ping_group_range="0 2147483647"
    echo "datagram socket (unprivileged, ping_group_range widened):"
    expect_answer 127.0.0.1 "datagram"
    expect_timeout $silent "datagram"
    expect_fast_false $unreachable "datagram"
    sysctl -qw net.ipv4.ping_group_range="1 0"
    sweep_stop
  fi
  finish
}

if [ "${1:-}" = --inside ]; then
  inside
fi
if ! unshare --net true 2>/dev/null; then
  skip "network namespaces are not permitted here (unshare --net failed)"
fi
if ! unshare --net bash -c 'ip link add qv0 type veth peer name qv1' 2>/dev/null; then
  skip "veth links cannot be made in a new network namespace"
fi
rm -rf "$QV_E2E_TMP"  # exec skips the exit trap; the inner run makes its own
exec unshare --net bash "$0" --inside
