#!/usr/bin/env bash
# The Debian package as CPack builds it: contents and layout, a stripped
# Monitor with its debug information in the -dbgsym package, the installed
# INI set as conffiles, the maintainer scripts, and a systemd unit that systemd
# accepts, that keeps only CAP_NET_RAW and whose sandbox systemd-analyze
# rates 2.5 or better. Then, as root, the real round trip: dpkg -i (no systemd
# runs here; the maintainer scripts cope), the user, owners, modes, links and
# conffiles, the installed Monitor run as the README says, its metrics through
# node_exporter's default folder, reinstalls that keep an administrator's
# disable and survive a deleted conffile, dpkg --remove and dpkg --purge.
# With systemd running: systemd_test.sh.
source "$(dirname "$0")/../../tests/e2e/lib.sh"
[ "$QV_PLATFORM" = posix ] || skip "Linux package only"
command -v dpkg-deb >/dev/null || skip "dpkg-deb missing"
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
trap 'rm -rf "$tmp" "${QV_E2E_TMP:-}"' EXIT
package=quorvanexdevicechecker
defaults=$QV_ROOT/packaging/defaults

cpack -G DEB --config "$QV_BUILD/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack -G DEB"; finish; }
check "cpack reads its configuration without a warning" bash -c "! grep -q 'CMake Warning' '$tmp/cpack.log'"
deb=$(ls "$tmp"/out/*.deb)
echo "package: ${deb##*/}"
contents=$(dpkg-deb -c "$deb")
has() { grep -qE "$1" <<<"$contents"; }
check "Monitor in /opt/quorvanex, executable" has '^-rwxr-xr-x .* \./opt/quorvanex/Monitor$'
check "the mailer beside it, executable" has '^-rwxr-xr-x .* \./opt/quorvanex/Ostrival\.exe$'
check "quorvanexctl beside it, executable" has '^-rwxr-xr-x .* \./opt/quorvanex/quorvanexctl$'
check "/usr/sbin/quorvanexctl is a link to it" has '^l.* \./usr/sbin/quorvanexctl -> /opt/quorvanex/quorvanexctl$'
check "unit in /lib/systemd/system" has ' \./lib/systemd/system/quorvanexdevicechecker\.service$'
check "log directory in /var/log/quorvanex" has '^d.* \./var/log/quorvanex/$'
check "log beside the Monitor is a link to it" has '^l.* \./opt/quorvanex/log -> /var/log/quorvanex$'
for f in prometheus.yml quorvanex-rules.yml; do
  check "Prometheus example $f" has " \./usr/share/doc/quorvanexdevicechecker/examples/prometheus/$f\$"
done
for ini in config quorvanex mail message; do
  check "$ini.ini in /etc/quorvanex" has "^-rw-r--r-- .* \./etc/quorvanex/$ini\.ini\$"
  check "$ini.ini linked beside the Monitor" has "^l.* \./opt/quorvanex/$ini\.ini -> /etc/quorvanex/$ini\.ini\$"
done

mkdir "$tmp/control"
dpkg-deb -e "$deb" "$tmp/control"
check "node_exporter's folder coming or going tells the package" \
  grep -qx 'interest-noawait /var/lib/prometheus/node-exporter' "$tmp/control/triggers"
check "the four INI files are conffiles" \
  diff <(sort "$tmp/control/conffiles") <(printf '/etc/quorvanex/%s.ini\n' config mail message quorvanex)
for script in preinst postinst prerm postrm; do
  check "$script is executable shell" bash -c "test -x '$tmp/control/$script' && sh -n '$tmp/control/$script'"
done
check "package depends on the C++ runtime" grep -q '^Depends:.*libstdc++6' "$tmp/control/control"
check "package depends on libcurl for the mailer" grep -q '^Depends:.*libcurl4' "$tmp/control/control"
check "package runs without systemd (recommends it only)" \
  bash -c "! grep -q '^Depends:.*systemd' '$tmp/control/control' && grep -q '^Recommends: systemd' '$tmp/control/control'"

# The unit as installed, read back by systemd against the package's tree.
root=$tmp/root
dpkg-deb -x "$deb" "$root"
for ini in quorvanex mail message; do
  check "$ini.ini is the installed default" cmp -s "$root/etc/quorvanex/$ini.ini" "$defaults/$ini.ini"
done
check "config.ini is the installed default with the metrics file in the state directory" \
  cmp -s "$root/etc/quorvanex/config.ini" <(sed 's|^TextfileDir=\r$|TextfileDir=/var/lib/quorvanex\r|' "$defaults/config.ini")
debug_sections() { readelf -S "$1" | grep -cE '\.debug_(info|line)'; }
check "Monitor is stripped" test "$(debug_sections "$root/opt/quorvanex/Monitor")" = 0
ddeb=$(ls "$tmp"/out/*-dbgsym_*.ddeb 2>/dev/null)
if [ -n "$ddeb" ]; then
  build_id=$(readelf -n "$root/opt/quorvanex/Monitor" | sed -n 's/.*Build ID: *//p')
  debug_file=usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug
  dpkg-deb -x "$ddeb" "$tmp/dbgsym"
  check "the -dbgsym package holds the Monitor's debug information" \
    test "$(debug_sections "$tmp/dbgsym/$debug_file")" -gt 0
else
  fail "no -dbgsym package beside the .deb"
fi
unit=$root/lib/systemd/system/quorvanexdevicechecker.service
key() { sed -n "s/^$1=//p" "$unit"; }
check "Type=notify" test "$(key Type)" = notify
check "ExecStart is the Monitor without argument" test "$(key ExecStart)" = /opt/quorvanex/Monitor
check "pings need CAP_NET_RAW only" \
  test "$(key AmbientCapabilities)/$(key CapabilityBoundingSet)" = CAP_NET_RAW/CAP_NET_RAW
check "Restart=on-failure" test "$(key Restart)" = on-failure
check "a stop signals the Monitor alone, so a mail under way finishes" test "$(key KillMode)" = mixed
check "not root" test "$(key User)" = quorvanex
check "hardened" test "$(key ProtectSystem)/$(key PrivateTmp)/$(key NoNewPrivileges)" = strict/yes/yes
check "the log directory is the unit's, writable, 0750" \
  test "$(key LogsDirectory)/$(key LogsDirectoryMode)" = quorvanex/0750
check "the program directory stays writable for the mail copy" grep -qx 'ReadWritePaths=/opt/quorvanex' "$unit"
check "journalctl names the log" grep -q '^Description=.*/var/log/quorvanex/log.txt' "$unit"
check "the metrics state directory is the unit's" test "$(key StateDirectory)" = quorvanex
if systemd-analyze security --help 2>/dev/null | grep -q -- '--offline'; then
  systemd-analyze security --offline=true "$unit" >"$tmp/security.txt" 2>&1
    within() { systemd-analyze security --offline=true --threshold="$1" "$unit" >/dev/null 2>&1; }
  check "systemd-analyze rates the sandbox 2.5 or better ($(grep -o 'level for .*: [0-9.]*' "$tmp/security.txt" | sed 's/.*: //'))" \
    within 25
else
  fail "systemd-analyze security --offline missing (systemd 252 has it)"
fi
if systemd-analyze verify --help 2>/dev/null | grep -q -- '--root' && [ -f /lib/systemd/system/sysinit.target ]; then
  # The targets the unit is ordered against, from this system.
  cp -n /lib/systemd/system/*.target /lib/systemd/system/*.slice "$root/lib/systemd/system/" 2>/dev/null
  check "systemd-analyze verify accepts the unit" \
    systemd-analyze verify --root="$root" /lib/systemd/system/quorvanexdevicechecker.service
else
  echo "note: systemd-analyze without --root; unit not verified by systemd"
fi

# --- the real round trip ------------------------------------------------------
if [ "$(id -u)" != 0 ] || ! command -v dpkg >/dev/null || ! command -v runuser >/dev/null; then
  echo "note: not root (or no dpkg/runuser): dpkg -i / --purge round trip not run"
  finish
fi
# One round trip per machine at a time, whichever build tree runs it.
mkdir -p /run/lock
exec 8>/run/lock/quorvanexdevicechecker-roundtrip.lock
flock -w 600 8 || { fail "another round trip holds the lock for 10 minutes"; finish; }
if dpkg-query -W -f='${Status}' $package 2>/dev/null | grep -q 'installed\|config-files'; then
  fail "$package is already on this machine; the round trip needs it absent (dpkg --purge $package)"
  finish
fi
# Waits while another dpkg or apt holds the lock (another program's work,
# not a fault of ours); any other failure stands.
dpkg_run() {
  local i
  for i in $(seq 120); do
    dpkg "$@" >"$tmp/dpkg.log" 2>&1 && return 0
    grep -q 'lock' "$tmp/dpkg.log" || { cat "$tmp/dpkg.log"; return 1; }
    sleep 1
  done
  cat "$tmp/dpkg.log"; return 1
}
cleanup() {
  [ -z "${exporter_pid:-}" ] || kill $exporter_pid 2>/dev/null
  pkill -x -u quorvanex Monitor 2>/dev/null
  dpkg_run --purge $package >/dev/null 2>&1
  # What this test put there itself, should the install have failed.
  rm -f /opt/quorvanex/log/$old_log /var/log/quorvanex/$old_log /opt/quorvanex/notes.txt /run/quorvanex-console
  rmdir /opt/quorvanex/log /opt/quorvanex /var/log/quorvanex 2>/dev/null
  rm -rf "$tmp" "${QV_E2E_TMP:-}"
}
trap cleanup EXIT

# An earlier package kept its log in /opt/quorvanex/log, and its removal
# (without purge) left it there.
old_log=20260101_000000_log.txt
mkdir -p /opt/quorvanex/log && printf 'old\r\n' >/opt/quorvanex/log/$old_log
check "dpkg -i installs (no systemd running)" dpkg_run -i "$deb"
check "a log left in /opt/quorvanex/log moved to /var/log/quorvanex" test -f /var/log/quorvanex/$old_log
check "package is installed and configured" \
  test "$(dpkg-query -W -f='${Status}' $package)" = "install ok installed"
owner_mode() { stat -c '%U:%G %a' "$1"; }
check "system user quorvanex, no login" \
  bash -c "getent passwd quorvanex | awk -F: '\$3 < 1000 && \$6 == \"/opt/quorvanex\" && \$7 == \"/usr/sbin/nologin\"' | grep -q ."
check "program directory root:quorvanex 1775" test "$(owner_mode /opt/quorvanex)" = "root:quorvanex 1775"
check "log directory quorvanex:quorvanex 0750" test "$(owner_mode /var/log/quorvanex)" = "quorvanex:quorvanex 750"
check "state directory quorvanex:quorvanex 0755" test "$(owner_mode /var/lib/quorvanex)" = "quorvanex:quorvanex 755"
wants=/etc/systemd/system/multi-user.target.wants/$package.service
check "the first install enables the unit" test -L "$wants"
textfile_dir=/var/lib/prometheus/node-exporter
exporter=$(command -v prometheus-node-exporter)
if [ -d $textfile_dir ] && [ -n "$exporter" ]; then
  check "node_exporter's folder holds root's link to the metrics file" \
    test "$(readlink $textfile_dir/quorvanex.prom) $(stat -c %U $textfile_dir/quorvanex.prom)" = "/var/lib/quorvanex/quorvanex.prom root"
else
  fail "prometheus-node-exporter is not installed (scripts/setup.sh installs it)"
fi
check "mail.ini root:quorvanex 0640" test "$(owner_mode /etc/quorvanex/mail.ini)" = "root:quorvanex 640"
check "config.ini root:root 0644" test "$(owner_mode /etc/quorvanex/config.ini)" = "root:root 644"
check "Monitor root:root 0755" test "$(owner_mode /opt/quorvanex/Monitor)" = "root:root 755"
check "log link" test "$(readlink /opt/quorvanex/log)" = /var/log/quorvanex
check "INI links" test "$(readlink /opt/quorvanex/mail.ini)" = /etc/quorvanex/mail.ini
check "dpkg lists the four conffiles" test "$(dpkg-query -W -f='${Conffiles}' $package | awk 'NF {print $1}' | sort | tr '\n' ' ')" = \
  "/etc/quorvanex/config.ini /etc/quorvanex/mail.ini /etc/quorvanex/message.ini /etc/quorvanex/quorvanex.ini "
check "installed Monitor is stripped" test "$(debug_sections /opt/quorvanex/Monitor)" = 0
check "installed mailer root:root 0755, stripped" \
  test "$(owner_mode /opt/quorvanex/Ostrival.exe) $(debug_sections /opt/quorvanex/Ostrival.exe)" = "root:root 755 0"
check "installed quorvanexctl root:root 0755, stripped" \
  test "$(owner_mode /opt/quorvanex/quorvanexctl) $(debug_sections /opt/quorvanex/quorvanexctl)" = "root:root 755 0"
check "quorvanexctl --version runs through /usr/sbin" grep -qx 'quorvanexctl [0-9.]*' <(/usr/sbin/quorvanexctl --version)
# Through the link it finds /opt/quorvanex, and the installed defaults hold no finding.
/usr/sbin/quorvanexctl check >"$tmp/check.out" 2>&1
rc=$?
check "quorvanexctl check through /usr/sbin reads /opt/quorvanex" \
  grep -qx 'Settings the Monitor would start with, from /opt/quorvanex:' "$tmp/check.out"
check "... and finds nothing in the installed defaults (exit 0)" \
  bash -c "[ $rc = 0 ] && grep -qx 'No findings.' '$tmp/check.out'" || cat "$tmp/check.out"
# Unconfigured (no SmtpServer), the installed mailer refuses to send: exit code 2.
/opt/quorvanex/Ostrival.exe /etc/quorvanex/mail.ini >/dev/null 2>&1
check "the installed mailer reads the installed mail.ini and refuses it unconfigured" test $? = 2

# The README's commands, as written there.
readme_line() { grep -m1 -F -- "$1" "$QV_ROOT/README.md" | sed 's/^ *//'; }
console_line=$(readme_line 'setpriv --reuid=quorvanex')
log=/var/log/quorvanex/log.txt
prom=/var/lib/quorvanex/quorvanex.prom
console_run() {  # seconds, command line ending in "Monitor console": ended by the end of its input
  rm -f "$log"
  (sleep "$1") | eval "$2" >"$tmp/console.out" 2>&1
}
check "README: a console run as root, without sudo" test "${console_line%% *}" = setpriv
check "the installed Monitor runs as the README says" console_run 3 "$console_line"
check "it writes its log through the link, as the service user" test "$(stat -c %U "$log" 2>/dev/null)" = quorvanex
check "the installed defaults log only start and stop" \
  test "$(log_text "$log" | cut -d'|' -f2- | tr '\n' ' ')" = "-|開始 -|エラーカウント監視開始 -|停止 "
check "the installed defaults write the metrics file, readable by all" \
  test "$(stat -c '%U %a' $prom 2>/dev/null)" = "quorvanex 644"

# Run on: a console run lasts while its input is open; the README's way keeps
# it open, away from the terminal. node_exporter, started as Debian installs
# it (its default folder) on a port of 127.0.0.1, serves the file.
value_of() { S=$1 awk 'BEGIN { s = ENVIRON["S"] } index($0, s " ") == 1 { v = $2 } END { print v }'; }
scraped_up() { curl -fsS "http://127.0.0.1:$exporter_port/metrics" | value_of quorvanex_up; }
exporter_pid=
for attempt in 1 2 3; do
  exporter_port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$exporter" --web.listen-address=127.0.0.1:$exporter_port --collector.disable-defaults --collector.textfile \
    >"$tmp/exporter.log" 2>&1 &
  exporter_pid=$!
  wait_for "curl -fsS http://127.0.0.1:$exporter_port/metrics >/dev/null 2>&1 || ! kill -0 $exporter_pid 2>/dev/null" 30
  kill -0 $exporter_pid 2>/dev/null && break
done
rm -f "$log"
eval "$(readme_line 'mkfifo')"
eval "$(readme_line 'setsid setpriv')"
check "README: the run in the background is up" wait_for '[ "$(value_of quorvanex_up <$prom)" = 1 ]' 10
check "node_exporter serves quorvanex_up 1 from its default folder, nothing edited" \
  wait_for '[ "$(scraped_up)" = 1 ]' 10
sleep 2
check "... and still runs after its starting shell is gone" pgrep -x -u quorvanex Monitor
eval "$(grep -o -m1 '`pkill -x -u quorvanex Monitor`' "$QV_ROOT/README.md" | tr -d '`')"
check "README: pkill stops it in order" wait_for 'log_text "$log" | grep -q "|停止"' 10
check "node_exporter then serves quorvanex_up 0" wait_for '[ "$(scraped_up)" = 0 ]' 10
kill $exporter_pid 2>/dev/null; wait $exporter_pid 2>/dev/null
rm -f "$(readme_line 'mkfifo' | awk '{print $NF}')"

# The loopback ping needs a raw socket here (or a datagram socket when the
# service group is within net.ipv4.ping_group_range): without CAP_NET_RAW a
# switched-on ping check counts errors, with it 127.0.0.1 answers.
printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n' >/etc/quorvanex/config.ini
printf '[Config]\r\nCount=1\r\n[Quorvanex_1]\r\nServer=127.0.0.1\r\n' >/etc/quorvanex/quorvanex.ini
group=$(getent group quorvanex | cut -d: -f3)
read -r low high </proc/sys/net/ipv4/ping_group_range
ping_errors() { log_text "$log" | grep -c 'Pingエラーしきい値を超過'; }
console_run 5 "runuser -u quorvanex -- /opt/quorvanex/Monitor console"
if [ "$group" -ge "$low" ] && [ "$group" -le "$high" ]; then
  check "without CAP_NET_RAW the datagram socket answers (group in ping_group_range)" test "$(ping_errors)" = 0
else
  check "without CAP_NET_RAW the loopback ping fails and is counted" test "$(ping_errors)" -ge 1
fi
console_run 5 "$console_line"
check "with CAP_NET_RAW, as the unit grants it, 127.0.0.1 answers" test "$(ping_errors)" = 0
check "... and the run was logged" grep -q エラーカウント監視開始 <(log_text "$log")

# Reinstalls: the administrator's settings (conffiles) and the layout stay,
# a disabled unit stays disabled, and a deleted mail.ini (dpkg does not bring
# a deleted conffile back) does not stop the configuration.
systemctl disable $package >/dev/null 2>&1
check "dpkg -i again (upgrade path)" dpkg_run -i "$deb"
check "the edited config.ini is kept" grep -q '^Ping=1' /etc/quorvanex/config.ini
check "the log link is still a link" test -L /opt/quorvanex/log
check "a disabled unit stays disabled" test ! -e "$wants"
rm /etc/quorvanex/mail.ini
check "dpkg -i again without mail.ini configures" dpkg_run -i "$deb"
check "... and leaves mail.ini deleted" test ! -e /etc/quorvanex/mail.ini
check "dpkg --remove" dpkg_run --remove $package
check "remove takes the programs" test ! -e /opt/quorvanex/Monitor -a ! -e /opt/quorvanex/Ostrival.exe \
  -a ! -e /opt/quorvanex/quorvanexctl -a ! -L /usr/sbin/quorvanexctl
check "remove keeps the settings, the log and the metrics state" test -f /etc/quorvanex/config.ini -a -f "$log" -a -f $prom
check "remove takes the link from node_exporter's folder" test ! -L $textfile_dir/quorvanex.prom

# What the Monitor and earlier instructions left in the program directory.
printf 'x' >/opt/quorvanex/mail_4242.ini
install -d -o quorvanex /opt/quorvanex/metrics
printf 'quorvanex_up 0\n' >/opt/quorvanex/metrics/quorvanex.prom
check "dpkg --purge" dpkg_run --purge $package
check "purge leaves no package record" bash -c "! dpkg-query -W $package >/dev/null 2>&1"
for path in /etc/quorvanex /opt/quorvanex /var/log/quorvanex /var/lib/quorvanex \
            /lib/systemd/system/$package.service "$wants" /var/lib/systemd/deb-systemd-helper-enabled/$package.service.dsh-also; do
  check "purge removes $path" test ! -e "$path"
done
# Debian keeps system users after a purge (their files may live elsewhere).
check "purge keeps the system user, as Debian does" getent passwd quorvanex

# A file of the administrator's own in the program directory stays, named.
check "dpkg -i for a purge with a file of the administrator's" dpkg_run -i "$deb"
printf 'mine\n' >/opt/quorvanex/notes.txt
dpkg_run --purge $package
check "purge keeps the administrator's file and says so" \
  test "$(cat /opt/quorvanex/notes.txt) $(grep -c '/opt/quorvanex kept: .*notes.txt' "$tmp/dpkg.log")" = "mine 1"
rm -f /opt/quorvanex/notes.txt
finish
