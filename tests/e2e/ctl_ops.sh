#!/usr/bin/env bash
# quorvanexctl's commands that read and change a program folder: log after a
# console run (also -f), devices against this machine's devices, servers and
# set as the Configurator writes, test-alert through the Monitor's own alert.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/ctl_lib.sh"
work=$(e2e_tmpdir)

# --- log ---------------------------------------------------------------------------------------
d=$work/log
ctl_folder "$d"
ctl_in "$d" log
check "log before any run: exit 1, says where it looked ($ctl_rc)" \
  eval '[ "$ctl_rc" = 1 ] && grep -qxF "quorvanexctl log: no log lines in $(program_path "$d/log")" <<<"$ctl_err"'
mkdir -p "$d/log" && printf '2026/01/01 00:00:00|-|older\r\n' >"$d/log/20260101_000000_log.txt"  # rotated before
mkfifo "$d/stdin"
(cd "$d" && run_program "$d/Monitor$QV_EXE" console) <"$d/stdin" >/dev/null 2>&1 &
monitor=$!
exec 3>"$d/stdin"
# exec: the follower's own pid, so that kill reaches it also under Wine.
(if [ "$QV_PLATFORM" = win32 ]; then exec env LC_ALL=ja_JP.UTF-8 wine "$ctl_bin" --dir "$(program_path "$d")" log -f -n 0
 else exec "$ctl_bin" --dir "$d" log -f -n 0; fi) >"$d/follow.out" 2>&1 3>&- &
follower=$!
wait_for "[ -f '$d/log/log.txt' ] && log_text '$d/log/log.txt' | grep -q しきい値を超過" 30
exec 3>&-
wait "$monitor"
sleep 1  # one more pass of the follower
kill "$follower"; wait "$follower" 2>/dev/null
check "log -f: followed the run's lines" grep -q 'DeviceManagerエラーしきい値を超過' <(ctl_text "$d/follow.out")
ctl_in "$d" log -n 3
check "log -n 3: the last three lines, decoded (exit $ctl_rc)" \
  [ "$ctl_rc" = 0 -a "$ctl_out" = "$(log_text "$d/log/log.txt" | tail -3)" ]
total=$(log_text "$d/log/log.txt" | wc -l)
ctl_in "$d" log -n $((total + 5))
check "log -n past log.txt: the rotated file's line first" \
  [ "$(head -1 <<<"$ctl_out")" = "2026/01/01 00:00:00|-|older" -a "$(wc -l <<<"$ctl_out")" = $((total + 1)) ]

# --- devices -----------------------------------------------------------------------------------
if [ "$QV_PLATFORM" = win32 ]; then
  present='PCI\VEN_0000'  # Wine's one PCI device
else
  sys=$(ls /sys/bus/pci/devices | head -1)
  [ -n "$sys" ] || skip "no PCI devices in /sys"
  present="PCI\\VEN_$(sed 's/^0x//' "/sys/bus/pci/devices/$sys/vendor" | tr a-f A-F)"
fi
d=$work/devices
ctl_folder "$d" "$present"
ctl_in "$d" devices
check "devices: exit 0 when Hardware matches ($ctl_rc)" [ "$ctl_rc" = 0 ]
check "devices: the Hardware match is marked" grep -qF "* " <<<"$ctl_out"
if [ "$QV_PLATFORM" = posix ]; then
  missing=0
  for a in /sys/bus/pci/devices/*; do
    grep -qE "^[* ] +(OK|Error) +PCI\\\\VEN_.*\\\\$(basename "$a")\$" <<<"$ctl_out" || missing=$((missing + 1))
  done
  check "devices: every PCI device of /sys listed ($missing missing)" [ "$missing" = 0 ]
fi
ctl_in "$d" devices "${present}&DEV_"
check "devices PREFIX: only matching devices, exit 0" \
  [ "$ctl_rc" = 0 -a -z "$(grep -E '^[* ] ' <<<"$ctl_out" | grep -vF "${present}&DEV_")" ]
ctl_in "$d" devices 'PCI\VEN_ZZZZ'
check "devices PREFIX matching nothing: exit 1" [ "$ctl_rc" = 1 ]

# --- servers and set ---------------------------------------------------------------------------
d=$work/settings
ctl_folder "$d"
cat >"$d/config.ini" <<'INI'
; set by hand
[Config]
Interval=3
LogDir=log
[Threshold]
Ping=-2
DeviceManager=4
[Metrics]
TextfileDir=
INI
cat >"$d/quorvanex.ini" <<'INI'
[Config]
Hardware=USB\VID_1234
Count=3
[Quorvanex_1]
Enabled=1
Server=10.0.0.5
Display=north
Port=4003
[Quorvanex_2]
Server=
[Quorvanex_3]
Enabled=7
Server=10.0.0.6
INI
files() { cat "$d/config.ini" "$d/quorvanex.ini" | tr -d '\r'; }
before=$(files)
for bad in "set interval -1" "set ping 2147483648" "set device 1x" "set device" "set retries 3" \
           "servers off 2" "servers off 4" "servers on 1 x" "servers up 1"; do
  ctl_in "$d" $bad
  check "$bad: exit 2, nothing changed ($ctl_rc)" eval '[ "$ctl_rc" = 2 ] && [ "$(files)" = "$before" ]'
done
ctl_in "$d" servers
check "servers: lists number, switch, address and display" \
  [ "$ctl_out" = "$(printf 'N    switch  address   display\n1    on      10.0.0.5  north\n3    on      10.0.0.6  10.0.0.6')" ]
if [ "$QV_PLATFORM" = posix ]; then
  # Another account: may read, may not write.
  chmod 755 "$QV_E2E_TMP" "$work" "$d"
  as_nobody=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  "${as_nobody[@]}" "$ctl_bin" --dir "$d" servers >/dev/null 2>&1
  check "servers as another account: listed" [ $? = 0 ]
  "${as_nobody[@]}" "$ctl_bin" --dir "$d" set interval 9 2>"$d/err.txt" >/dev/null
  rc=$?
  check "set as another account: exit 4, says why, nothing changed ($rc)" \
    eval '[ $rc = 4 ] && grep -q "run it as root" "$d/err.txt" && [ "$(files)" = "$before" ]'
fi
ctl_in "$d" servers off 3
check "servers off 3: exit 0" [ "$ctl_rc" = 0 ]
ctl_in "$d" set interval 10
check "set interval 10: exit 0" [ "$ctl_rc" = 0 ]
# What the Configurator's save writes: the three numbers as it read them
# (Ping -2 kept its 5) and every server's Enabled as 1 or 0; nothing else.
expected=$(sed -e 's/^Interval=3$/Interval=10/' -e 's/^Ping=-2$/Ping=5/' -e 's/^Enabled=7$/Enabled=0/' <<<"$before")
check "servers/set: exactly the Configurator's keys changed" [ "$(files)" = "$expected" ]

# --- test-alert --------------------------------------------------------------------------------
d=$work/alert
ctl_folder "$d"
if [ "$QV_PLATFORM" = win32 ]; then
  # Wine's Win32_Process.Create starts nothing: the Monitor would log no
  # "メッセージ表示ping" either.
  ctl_in "$d" test-alert ping
  said=$([ "$ctl_rc" = 1 ] && grep -c 'could not be shown' <<<"$ctl_out")
  check "test-alert under Wine: not shown, exit 1 ($ctl_out)" [ "$said" = 1 ]
else
  # The terminals of the users in a utmp file of our own: one logged in, then none.
  : >"$d/utmp"
  /usr/bin/python3 "$QV_ROOT/tests/e2e/tools/tty_login.py" "$d/utmp" alice "$(id -u)" 0620 "$d/alice.out" \
    >"$d/alice.line" &
  login=$!
  wait_for "[ -s '$d/alice.line' ]" 10 || fail "alice logged in"
  QV_UTMP_FILE=$d/utmp ctl_in "$d" test-alert ping
  said=$([ "$ctl_rc" = 0 ] && grep -c 'was shown' <<<"$ctl_out")
  check "test-alert: shown, exit 0 ($ctl_out)" [ "$said" = 1 ]
  check "test-alert: the Monitor's text reached the terminal" \
    wait_for "tr -d '\\r' <'$d/alice.out' | grep -qE '^\\[[0-9/: ]+\\]screen ping\$'" 5
  kill "$login"; wait "$login" 2>/dev/null
  : >"$d/utmp"
  QV_UTMP_FILE=$d/utmp ctl_in "$d" test-alert ping
  said=$([ "$ctl_rc" = 1 ] && grep -c 'could not be shown' <<<"$ctl_out")
  check "test-alert with no one logged in: not shown, exit 1 ($ctl_out)" [ "$said" = 1 ]
fi
finish
