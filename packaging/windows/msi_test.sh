#!/usr/bin/env bash
# The Windows packages under Wine. The zip holds the programs and the installed
# INI set. The MSI refuses bad settings properties before it changes anything;
# installs into Program Files, registers and starts a service that stays quiet
# until configured, writes given properties into the live INI files at install
# and upgrade (absent ones change nothing), limits mail.ini to SYSTEM and
# Administrators, sets the recovery actions, keeps an administrator's INI files
# on upgrade and removal, and removes programs and service. The programs are
# stripped; the first package and the zip are signed with a throwaway CA.
source "$(dirname "$0")/../../tests/e2e/lib.sh"
[ "$QV_PLATFORM" = win32 ] || skip "Windows packages only"
command -v wixl >/dev/null || { echo "FAIL: wixl is missing; scripts/setup.sh installs it"; exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
trap 'rm -rf "$tmp" "${QV_E2E_TMP:-}"' EXIT
defaults=$QV_ROOT/packaging/defaults
no_debug_info() { ! x86_64-w64-mingw32-objdump -h "$1" | grep -q ' \.debug_info '; }
ca() { openssl "$@" >>"$tmp/openssl.log" 2>&1 || { cat "$tmp/openssl.log"; fail "openssl $1"; }; }
ca req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/ca.key" -out "$tmp/ca.pem" -days 2 -subj /CN=QvTestCA
ca req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/signer.key" -out "$tmp/signer.pem" -days 2 -subj /CN=QvTestSigner \
  -CA "$tmp/ca.pem" -CAkey "$tmp/ca.key" -addext basicConstraints=CA:FALSE -addext extendedKeyUsage=codeSigning
printf 'two words\n' >"$tmp/password"
ca pkcs12 -export -inkey "$tmp/signer.key" -in "$tmp/signer.pem" -out "$tmp/signer.pfx" -passout "file:$tmp/password"
signing=(QV_SIGN_PFX="$tmp/signer.pfx" QV_SIGN_PASSWORD_FILE="$tmp/password")
verified() { osslsigncode verify -CAfile "$tmp/ca.pem" -in "$1" >/dev/null 2>&1; }

# --- zip ---------------------------------------------------------------------
if env "${signing[@]}" cpack -G ZIP --config "$QV_BUILD/CPackConfig.cmake" -B "$tmp/zip" >"$tmp/cpack.log" 2>&1; then
  zip=$(ls "$tmp"/zip/*.zip)
  listing=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
  for f in Monitor.exe Ostrival.exe quorvanexctl.exe config.ini quorvanex.ini mail.ini message.ini; do
    check "zip holds $f" grep -q "/$f\$" <<<"$listing"
  done
  # The other two programs wherever this build has them.
  for f in Configurator.exe Pomvex.exe; do
    if grep -q "/$f\"" "$QV_BUILD/cmake_install.cmake"; then check "zip holds $f" grep -q "/$f\$" <<<"$listing"; fi
  done
  zipped() {
    python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
sys.stdout.buffer.write(z.read([n for n in z.namelist() if n.endswith("/" + sys.argv[2])][0]))' "$zip" "$1"
  }
  check "zip holds the installed defaults, not the examples" cmp -s <(zipped config.ini) "$defaults/config.ini"
  zipped Monitor.exe >"$tmp/zipped.exe"
  check "zip holds Monitor.exe stripped and signed" eval 'no_debug_info "$tmp/zipped.exe" && verified "$tmp/zipped.exe"'
else
  cat "$tmp/cpack.log"; fail "cpack -G ZIP"
fi

# --- MSI ---------------------------------------------------------------------
# The installer starts the service and waits for it; a Monitor.exe without
# its service entry cannot be installed that way.
grep -aq StartServiceCtrlDispatcherW "$QV_BIN/Monitor.exe" ||
  { echo "zip checks done"; [ $e2e_failures -eq 0 ] || finish; skip "Monitor.exe has no service entry yet"; }

export QV_MSI_ALLOW_PARTIAL=1
build() {  # version, output, variables...
  env "${@:3}" QV_MSI_VERSION=$1 bash "$QV_ROOT/packaging/windows/build-msi.sh" "$QV_BUILD/stripped" "$2" >"$tmp/wixl-$1.log" 2>&1 ||
    { cat "$tmp/wixl-$1.log"; fail "wixl $1"; finish; }
}
build 2.0.0 "$tmp/old.msi" "${signing[@]}"
build 2.0.1 "$tmp/new.msi"
build 2.0.2 "$tmp/newer.msi"
msiextract -C "$tmp/packed" "$tmp/old.msi" >/dev/null
msiinfo extract "$tmp/old.msi" Binary.SetupDll >"$tmp/packed/QuorvanexSetup.dll"
mapfile -t packed < <(find "$tmp/packed" -name '*.exe' -o -name '*.dll')
for f in "${packed[@]}"; do check "packed ${f##*/} has no debug information" no_debug_info "$f"; done
for f in "$tmp/old.msi" "${packed[@]}"; do check "signed ${f##*/} verifies" verified "$f"; done
check "gdb finds Monitor.exe's symbols through its debug link" \
  eval 'gdb -batch -ex "info line wmain" "$QV_BUILD/stripped/Monitor.exe" 2>&1 | grep -q "entry_win32.cpp"'
cp "${packed[0]}" "$tmp/changed.exe"
python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(4096); b = f.read(1); f.seek(4096); f.write(bytes([b[0] ^ 1]))' "$tmp/changed.exe"
check "a changed byte fails the verification" eval '! verified "$tmp/changed.exe"'
check "an MSI is unsigned by default" eval '! msiinfo streams "$tmp/new.msi" | grep -q DigitalSignature'
secure=$(msiinfo export "$tmp/old.msi" Property | tr -d '\r' | sed -n 's/^SecureCustomProperties\t//p' | tr ';' '\n')
check "the seven settings properties are secure custom properties" test "$(grep -cxE \
  'SERVERS|HARDWARE|INTERVAL|PING_THRESHOLD|DEVICE_THRESHOLD|MAILSEND|METRICS_DIR' <<<"$secure")" = 7

dir="$WINEPREFIX/drive_c/Program Files/Quorvanex"
service=quorvanexdevicechecker
log=$tmp/msi.log
state() { qv_wine sc query $service 2>/dev/null | tr -d '\r' | sed -n 's/.*STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'; }
run_msiexec() {  # /i or /x, package, properties...
  qv_wine msiexec "$1" "$(program_path "$2")" /qn /l*v "$(program_path "$log")" "${@:3}" \
    </dev/null >"$tmp/msiexec.out" 2>&1
}
msi_log() { iconv -f CP932 -t UTF-8 -c "$log"; }
msi() {  # as run_msiexec; shows the end of the installer's log on failure
  run_msiexec "$@"
  local rc=$?
  [ $rc -eq 0 ] || { echo "msiexec $1 ${2##*/}: exit $rc"; grep -a err: "$tmp/msiexec.out" | tail -5
                     msi_log | grep -v '^Property' | tail -15; }
  return $rc
}
msi_refuses() {  # package, properties...: fails and names every bad property
  run_msiexec /i "$@" && { echo "msiexec accepted $*"; return 1; }
  local arg text
  text=$(msi_log)
  for arg in "${@:2}"; do
    grep -qF "${arg%%=*}=\"${arg#*=}\" is not valid" <<<"$text" || { echo "no message for $arg"; return 1; }
  done
}
ini() { tr -d '\r' <"$dir/$1" | sed -n "/^\[$2\]/,/^\[/s/^$3=//p" | head -1; }  # file section key
probe() { qv_wine "$QV_BIN/qv_install_probe.exe" "$@" 2>/dev/null | tr -d '\r'; }
dacl() { probe dacl "$(program_path "$dir/$1")"; }
# Windows keeps the DACL as set; Wine keeps none, it maps a DACL to Unix mode
# bits and reports one made from them (SYSTEM, owner, Everyone when others
# may read): there, "nobody else" is what can be seen.
admins_only() {
  local d; d=$(dacl "$1")
  [ "$d" = "dacl=D:PAI(A;;FA;;;SY)(A;;FA;;;BA)" ] && return 0
  grep -q '(A;;FA;;;SY)' <<<"$d" && ! grep -qE ';;;(WD|BU|AU|IU)\)' <<<"$d" || { echo "$1: $d"; return 1; }
}
cleanup_service() { qv_wine sc stop $service >/dev/null 2>&1; qv_wine sc delete $service >/dev/null 2>&1; }
cleanup() {
  msi /x "$tmp/newer.msi"; msi /x "$tmp/new.msi"; msi /x "$tmp/old.msi"
  cleanup_service; rm -rf "$dir" "$tmp" "${QV_E2E_TMP:-}"
}
trap cleanup EXIT
cleanup_service; rm -rf "$dir"

# Bad values stop the installation before anything is installed.
check "bad properties are refused, each named" msi_refuses "$tmp/old.msi" INTERVAL=-5 MAILSEND=abc \
  'SERVERS=127.0.0.2, 127.0.0.300' "HARDWARE=USB\\VID_1234'" 'METRICS_DIR=C:\a|b'
check "a refused list names the entry" grep -qF 'entry 2 "127.0.0.300" is not an IPv4 address' <(msi_log)
check "a quote in HARDWARE is refused with the reason" grep -qF 'a single quote would end the text' <(msi_log)
check "every line of the refusal starts with Quorvanex:" eval 'test -z "$(msi_log | grep "is not valid" | grep -v "^Quorvanex: ")"'
check "a refused installation installs nothing" test ! -e "$dir/Monitor.exe"
service_absent() { ! qv_wine sc query $service >/dev/null 2>&1; }
check "a refused installation registers no service" service_absent

# A fresh install without properties: the installed defaults, and quiet.
check "msiexec /i of the signed package installs" msi /i "$tmp/old.msi"
for f in Monitor.exe Ostrival.exe quorvanexctl.exe defaults/config.ini examples/prometheus/prometheus.yml \
         examples/prometheus/quorvanex-rules.yml; do
  check "installed $f" test -f "$dir/$f"
done
for f in config.ini quorvanex.ini mail.ini message.ini; do
  check "live $f is the installed default" cmp -s "$dir/$f" "$defaults/$f"
done
# grep -q stops reading at the first match: with pipefail, a pipe from
# msi_log would then fail whenever iconv was still writing.
made_from_defaults() { grep -q "Quorvanex: .*\\\\$1: made from " <(msi_log); }  # file name
kept() { grep -q "Quorvanex: .*\\\\$1: kept" <(msi_log); }
for f in config.ini quorvanex.ini mail.ini message.ini; do
  check "installer logs $f as made from the defaults" made_from_defaults $f
done
check "service is running" wait_for '[ "$(state)" = RUNNING ]' 10
service_value() { qv_wine reg query "HKLM\\System\\CurrentControlSet\\Services\\$service" /v "$1" | sed -n "s/^ *$1 *REG_SZ *\(.*\)\r/\1/p"; }
check "the service's display name" test "$(service_value DisplayName)" = "Quorvanex Device Server Watchdog"
check "the service's description" grep -q "^Pings the device servers" <<<"$(service_value Description)"
check "service writes its log" wait_for 'log_text "$dir/log/log.txt" 2>/dev/null | grep -q エラーカウント監視開始' 10
sleep 3  # the first cycle runs a second after the start
quiet_log=$(log_text "$dir/log/log.txt" | cut -d'|' -f2-)
expected_log=$(printf -- '-|サービス開始\n-|エラーカウント監視開始')
[ "$quiet_log" = "$expected_log" ] || sed 's/^/  log: /' <<<"$quiet_log"
check "a fresh install logs only its start lines" test "$quiet_log" = "$expected_log"
check "mail.ini: SYSTEM and Administrators only" admins_only mail.ini
check "installed quorvanexctl.exe --version runs" \
  grep -qx 'quorvanexctl [0-9.]*' <(qv_wine "$(program_path "$dir/quorvanexctl.exe")" --version | tr -d '\r')
# Without --dir it reads the folder it was installed in: the defaults hold no finding.
qv_wine 'C:\Program Files\Quorvanex\quorvanexctl.exe' check 2>&1 | tr -d '\r' >"$tmp/check.out"
rc=${PIPESTATUS[0]}
check "installed quorvanexctl.exe check reads its own folder" \
  grep -qix 'Settings the Monitor would start with, from C:\\Program Files\\Quorvanex:' "$tmp/check.out"
check "... and finds nothing in the installed defaults (exit 0)" \
  bash -c "[ $rc = 0 ] && grep -qx 'No findings.' '$tmp/check.out'" || cat "$tmp/check.out"
check "config.ini keeps the folder's rights (the probe sees Everyone)" grep -q ';;;WD)' <<<"$(dacl config.ini)"
check "installer reports mail.ini's DACL" grep -qF 'mail.ini: D:PAI(A;;FA;;;SY)(A;;FA;;;BA)' <(msi_log)
# Wine's service manager accepts the recovery actions but keeps none
# (QueryServiceConfig2W: ERROR_INVALID_LEVEL); Windows reports them back.
recovery=$(probe recovery $service)
echo "read back: $recovery"
check "recovery actions: restart after 60 s twice, reset after a day" \
  grep -qxE 'recovery=(reset 86400; type 1 delay 60000; type 1 delay 60000; type 0 delay 0|unreadable error=124)' \
  <<<"$recovery"
check "installer set the recovery actions" grep -qF 'Quorvanex: service recovery actions ' <(msi_log)
if [ -f "$QV_BIN/PomvexBoxProbe.exe" ]; then
  check "installed Monitor.exe runs as invoked" grep -q 'requestedExecutionLevel level="asInvoker"' \
    <<<"$(qv_wine "$QV_BIN/PomvexBoxProbe.exe" --resources "$(program_path "$dir/Monitor.exe")" 2>/dev/null)"
fi

# An upgrade with properties writes them and keeps the administrator's edits.
printf '; kept by the administrator\r\n' >> "$dir/config.ini"
rm "$dir/message.ini"
mkdir "$tmp/textfile_inputs"
check "msiexec /i of a newer version with properties upgrades" msi /i "$tmp/new.msi" \
  'SERVERS=127.0.0.5; 127.0.0.6' 'HARDWARE=USB\VID_1234&PID_5678' INTERVAL=7 PING_THRESHOLD=3 DEVICE_THRESHOLD=4 \
  MAILSEND=2 "METRICS_DIR=$(program_path "$tmp/textfile_inputs")"
check "upgrade keeps an edited config.ini" grep -q "kept by the administrator" "$dir/config.ini"
check "upgrade restores a missing message.ini" cmp -s "$dir/message.ini" "$defaults/message.ini"
check "installer logs message.ini as made, config.ini as kept" eval 'made_from_defaults message.ini && kept config.ini'
check "INTERVAL, PING_THRESHOLD, DEVICE_THRESHOLD in config.ini" \
  test "$(ini config.ini Config Interval)/$(ini config.ini Threshold Ping)/$(ini config.ini Threshold DeviceManager)" = 7/3/4
check "MAILSEND in mail.ini" test "$(ini mail.ini Config MailSend)" = 2
check "METRICS_DIR in config.ini" test "$(ini config.ini Metrics TextfileDir)" = "$(program_path "$tmp/textfile_inputs")"
check "the restarted service writes its metrics there" wait_for 'grep -q "^quorvanex_up 1" "$tmp/textfile_inputs/quorvanex.prom"' 10
check "HARDWARE in quorvanex.ini" test "$(ini quorvanex.ini Config Hardware)" = 'USB\VID_1234&PID_5678'
check "SERVERS in quorvanex.ini" test "$(ini quorvanex.ini Config Count)/$(ini quorvanex.ini Quorvanex_1 Server)/$(ini quorvanex.ini Quorvanex_2 Server)/$(ini quorvanex.ini Quorvanex_2 Enabled)" = 2/127.0.0.5/127.0.0.6/1
check "mail.ini stays SYSTEM and Administrators only after the write" admins_only mail.ini
check "service runs after the upgrade" wait_for '[ "$(state)" = RUNNING ]' 10

# A bad value on an upgrade leaves the installed version as it was.
cp "$dir/config.ini" "$tmp/config.before"
check "a bad property stops the upgrade" msi_refuses "$tmp/newer.msi" PING_THRESHOLD=1x
check "after a refused upgrade config.ini is unchanged" cmp -s "$dir/config.ini" "$tmp/config.before"
check "after a refused upgrade the service still runs" test "$(state)" = RUNNING

# Absent properties change nothing; a server that stays keeps its section.
sed -i '/^\[Quorvanex_1\]/,/^\[/s/^Enabled=1/Enabled=0/' "$dir/quorvanex.ini"
check "an upgrade with SERVERS alone (and a metrics folder still to come)" msi /i "$tmp/newer.msi" SERVERS=127.0.0.5 \
  METRICS_DIR=later
check "a missing metrics folder is noted" grep -q '^Quorvanex: .*\\later does not exist yet' <(msi_log)
check "SERVERS shrinks the list" test "$(ini quorvanex.ini Config Count)" = 1
check "a server that stays keeps its switch" test "$(ini quorvanex.ini Quorvanex_1 Enabled)" = 0
check "absent properties change nothing" \
  test "$(ini config.ini Config Interval)/$(ini config.ini Threshold Ping)/$(ini mail.ini Config MailSend)/$(ini quorvanex.ini Config Hardware)" = '7/3/2/USB\VID_1234&PID_5678'

check "msiexec /x removes" msi /x "$tmp/newer.msi"
check "service is removed" service_absent
for f in Monitor.exe Ostrival.exe quorvanexctl.exe defaults/config.ini; do check "removed $f" test ! -e "$dir/$f"; done
for f in config.ini quorvanex.ini mail.ini message.ini; do check "kept $f" test -f "$dir/$f"; done
check "kept the edit in config.ini" grep -q "kept by the administrator" "$dir/config.ini"
finish
