#!/usr/bin/env bash
# The Debian package under a running systemd, which this machine's own init
# is not: Debian's systemd boots in a container (systemd-nspawn) on a
# throwaway overlay of this machine's root, with a network of its own
# (loopback only). Inside, as an administrator would meet it:
# - the maintainer scripts and Debian's helpers: enabled and started at the
#   first install; a reinstall restarts a running unit, leaves a stopped one
#   stopped and a disabled one disabled;
# - node_exporter as Debian installs it serves quorvanex_up 1 on port 9100
#   with no file edited, also when it is installed after the package;
# - the unit's sandbox as systemd applies it, with everything the service
#   does: the raw-socket ping, the device table in /sys, the on-screen alert
#   on a logged-in user's terminal, a mail over STARTTLS to a server whose CA
#   is in /etc/ssl/certs, the metrics file and the log; a probe of the sandbox.
source "$(dirname "$0")/../../tests/e2e/lib.sh"
source "$QV_ROOT/tests/e2e/container_lib.sh"
package=quorvanexdevicechecker
self=$(realpath "$0")
unit=$package.service

case "${QV_SYSTEMD_STAGE:-host}" in
host)
  [ "$QV_PLATFORM" = posix ] || skip "Linux package only"
  [ "$(id -u)" = 0 ] || skip "needs root (overlay mounts, a container)"
  command -v systemd-nspawn >/dev/null || skip "systemd-nspawn missing (systemd-container; scripts/setup.sh installs it)"
  grep -qw overlay /proc/filesystems || skip "no overlay file system in this kernel"
  share=$QV_E2E_TMP/share
  cpack -G DEB --config "$QV_BUILD/CPackConfig.cmake" -B "$share" >"$QV_E2E_TMP/cpack.log" 2>&1 ||
    { cat "$QV_E2E_TMP/cpack.log"; fail "cpack -G DEB"; finish; }
  # node_exporter's own package, to install it after ours inside.
  version=$(dpkg-query -W -f='${Version}' prometheus-node-exporter 2>/dev/null) ||
    skip "prometheus-node-exporter is not installed (scripts/setup.sh installs it)"
  cached=/var/cache/apt/archives/prometheus-node-exporter_${version//:/%3a}_amd64.deb
  if [ -f "$cached" ]; then
    cp "$cached" "$share/node-exporter.deb"
  else
    (cd "$share" && apt-get download -q "prometheus-node-exporter=$version" >/dev/null 2>&1 &&
      mv prometheus-node-exporter_*.deb node-exporter.deb)
  fi
  # The mounts stay in a mount namespace of this test's own.
  QV_SYSTEMD_SHARE=$share QV_SYSTEMD_STAGE=container unshare --mount --propagation private bash "$self"
  exit $?
  ;;
container)
  run_in_booted_container "$QV_SYSTEMD_SHARE" env QV_SYSTEMD_STAGE=system bash "$self"
  finish
  ;;
esac

# --- inside the container, with systemd running -----------------------------------------
source "$QV_ROOT/tests/e2e/mail_lib.sh"
deb=$(ls /qvtest/${package}_*.deb)
dpkg_ok() { dpkg "$@" >/tmp/dpkg.log 2>&1 || { cat /tmp/dpkg.log; return 1; }; }
state() { echo "$(systemctl is-enabled $unit 2>/dev/null) $(systemctl is-active $unit 2>/dev/null)"; }
main_pid() { systemctl show -p MainPID --value $unit; }
log=/var/log/quorvanex/log.txt
prom=/var/lib/quorvanex/quorvanex.prom
metric() { S=$1 awk 'BEGIN { s = ENVIRON["S"] } index($0, s " ") == 1 { v = $2 } END { print v }' "${2:-$prom}"; }
link=/var/lib/prometheus/node-exporter/quorvanex.prom

check "dpkg -i" dpkg_ok -i "$deb"
check "the first install enables and starts the unit" test "$(state)" = "enabled active"
check "the service writes the metrics file into its state directory" wait_for '[ "$(metric quorvanex_up)" = 1 ]' 10
pid=$(main_pid)
check "a reinstall restarts a running unit" bash -c "dpkg -i '$deb' >/dev/null 2>&1 && [ \"\$(systemctl show -p MainPID --value $unit)\" != $pid ]"
check "... and it runs" test "$(state)" = "enabled active"
systemctl stop $unit
check "a reinstall leaves a stopped unit stopped" bash -c "dpkg -i '$deb' >/dev/null 2>&1 && [ \"\$(systemctl is-active $unit)\" = inactive ]"
systemctl disable --now $unit 2>/dev/null
dpkg_ok -i "$deb"
check "a reinstall leaves a disabled unit disabled and stopped" test "$(state)" = "disabled inactive"
systemctl enable --now $unit 2>/dev/null

# node_exporter installed after the package: the file trigger links the file.
if [ -f /qvtest/node-exporter.deb ]; then
  dpkg_ok --purge prometheus-node-exporter
  check "node_exporter's purge takes the link and its folder" test ! -e /var/lib/prometheus/node-exporter
  check "node_exporter installed after the package" dpkg_ok -i /qvtest/node-exporter.deb
else
  fail "node_exporter's package (neither in apt's cache nor downloaded): installed before the package only"
fi
check "node_exporter's folder links the metrics file" test "$(readlink $link)" = /var/lib/quorvanex/quorvanex.prom
systemctl start prometheus-node-exporter
# The README's command, as written there.
readme_curl=$(grep -o -m1 '`curl -s http://127.0.0.1:9100/metrics[^`]*`' "$QV_ROOT/README.md" | tr -d '`')
check "node_exporter as Debian runs it serves quorvanex_up 1 on port 9100 (README: $readme_curl)" \
  wait_for '[ "$(eval "$readme_curl")" = "quorvanex_up 1" ]' 20

# --- the sandbox, with everything the service does -------------------------------------
# The on-screen alert needs the terminals' group; the unit gains it with the
# terminal delivery, and an administrator's drop-in gives it until then.
if ! grep -q '^SupplementaryGroups=.*tty' /lib/systemd/system/$unit; then
  echo "note: the unit has no SupplementaryGroups=tty yet; a drop-in adds it for this test"
  mkdir -p /etc/systemd/system/$unit.d
  printf '[Service]\nSupplementaryGroups=tty\n' >/etc/systemd/system/$unit.d/tty.conf
  systemctl daemon-reload
fi
start_mail_server /tmp/mail
cp /tmp/mail/ca.pem /usr/local/share/ca-certificates/qv-test-ca.crt
update-ca-certificates >/dev/null 2>&1
device=
for d in /sys/bus/pci/devices/*; do
  [ -e "$d/driver" ] || continue
  device=$(printf 'PCI\\VEN_%s&DEV_%s' "$(sed 's/^0x//' "$d/vendor" | tr a-f A-F)" "$(sed 's/^0x//' "$d/device" | tr a-f A-F)")
  break
done
useradd --create-home qvuser
configure() {  # the device prefix
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=1\r\n[Metrics]\r\nTextfileDir=/var/lib/quorvanex\r\n' \
    >/etc/quorvanex/config.ini
  printf '[Config]\r\nHardware=%s\r\nCount=1\r\n[Quorvanex_1]\r\nServer=127.0.0.1\r\n' "$1" >/etc/quorvanex/quorvanex.ini
  systemctl restart $unit
}
write_ini /etc/quorvanex/mail.ini cp932 <<EOF
[Config]
MailSend=1
Body_device=Device <name> is missing or not OK
SmtpServer=localhost
SmtpPort=$PORT_STARTTLS
Security=starttls
User=$MAIL_USER
Password=$MAIL_PASSWORD
From=watchdog@example.invalid
To=admin@example.invalid
EOF
chown root:quorvanex /etc/quorvanex/mail.ini
chmod 0640 /etc/quorvanex/mail.ini
rm -f "$log"

check "a PCI device with a driver in /sys" test -n "$device"
configure "$device"
check "under the sandbox: 127.0.0.1 answers the ping" \
  wait_for '[ "$(metric '\''quorvanex_ping_answered{server="127.0.0.1"}'\'')" = 1 ]' 15
check "under the sandbox: the device table in /sys finds the device" \
  wait_for '[ "$(metric '\''quorvanex_check_healthy{check="device"}'\'')" = 1 ]' 15
check "only CAP_NET_RAW is effective" grep -q '^CapEff:[[:space:]]*0000000000002000' /proc/$(main_pid)/status
# A probe in the unit's sandbox: the unit with another program.
cat >/usr/local/lib/qvprobe.sh <<'EOF'
touch /var/lib/quorvanex/probe && chown quorvanex /var/lib/quorvanex/probe 2>/dev/null && echo chown || echo no-chown
/usr/bin/python3 -c 'import mmap; mmap.mmap(-1, 4096, prot=7)' 2>/dev/null && echo wx || echo no-wx
[ -e /proc/sys/kernel ] && echo proc-all || echo proc-pids
touch /etc/qvprobe 2>/dev/null && echo etc-rw || echo etc-ro
EOF
sed -e 's|^ExecStart=.*|ExecStart=/bin/sh /usr/local/lib/qvprobe.sh|' -e 's|^Type=.*|Type=oneshot|' -e '/^Restart/d' \
  /lib/systemd/system/$unit >/etc/systemd/system/qvprobe.service
systemctl daemon-reload && systemctl start qvprobe
probe=$(journalctl -u qvprobe -o cat | grep -E '^(no-)?(chown|wx)$|^proc-|^etc-' | tr '\n' ' ')
check "the unit's sandbox refuses chown, W+X memory, /proc/sys, writes to /etc (got: $probe)" \
  test "$probe" = "no-chown no-wx proc-pids etc-ro "

"$QV_PYTHON" "$QV_ROOT/tests/e2e/tools/tty_session.py" qvuser /tmp/tty.txt "is missing or not OK" 60 >/tmp/tty.name &
tty_pid=$!
wait_for '[ -s /tmp/tty.name ]' 10
configure 'PCI\VEN_FFFF&DEV_FFFF'
check "under the sandbox: the alert reaches the user's terminal $(cat /tmp/tty.name)" wait $tty_pid
check "under the sandbox: the mail went over STARTTLS, trusted through /etc/ssl/certs" \
  wait_for '[ "$(mail_count /tmp/mail)" -ge 1 ]' 30
check "under the sandbox: the log says the mail was sent" \
  wait_for 'log_text "$log" | grep -q "メール送信 成功"' 10
check "under the sandbox: the service logs its start" grep -q '|サービス開始' <(log_text "$log")
stop_mail_server

# --- remove (the purge is deb_test.sh's) -------------------------------------------
check "dpkg --remove" dpkg_ok --remove $package
check "remove stops the unit" test "$(systemctl is-active $unit)" = inactive
finish
