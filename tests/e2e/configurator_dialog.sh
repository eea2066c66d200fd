#!/usr/bin/env bash
# Configurator.exe under Wine on the X display, driven like an administrator
# would: the list and fields show the INI files, letters are refused, 登録
# (Enter) writes the new values and restarts the installed Monitor service,
# a deleted service gives the failure message, Escape quits without saving.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/configurator_lib.sh"
artefacts=$QV_BUILD/e2e-artifacts
mkdir -p "$artefacts"
cp "$QV_BIN/Configurator.exe" "$QV_BIN/Monitor.exe" "$work/"
crlf() { sed 's/$/\r/'; }
crlf > "$work/config.ini" <<'INI'
[Config]
Interval=4
LogDir=log
[Threshold]
Ping=2
DeviceManager=3
INI
crlf > "$work/quorvanex.ini" <<'INI'
[Config]
Hardware=ROOT\WINE\NOSUCHDEVICE
Count=3
[Quorvanex_1]
Enabled=1
Server=127.0.0.1
Display=first
Username=admin
Password=secret
Port=4003
Hardware=PCI\VEN_1
ProductID=P1
VendorID=V1
[Quorvanex_2]
Enabled=0
Server=127.0.0.2
Port=4004
[Quorvanex_3]
Enabled=1
Server=127.0.0.3
Display=third
INI
crlf > "$work/mail.ini" <<'INI'
[Config]
MailSend=5
INI
crlf > "$work/message.ini" <<'INI'
[Config]
Pomvex=0
INI

# "section|key=value" for every entry, in order, whatever the layout.
ini_entries() {
  tr -d '\r' < "$1" | awk '/^\[/{s=substr($0,2,length($0)-2); next} /=/{k=$0; sub(/ *=.*/,"",k); v=$0; sub(/^[^=]*= */,"",v); print s "|" k "=" v}'
}
# Expected entries: the originals with the given "section|key=value" replaced.
expect_entries() {  # file, replacements...
  local file=$1; shift
  ini_entries "$file" | while IFS= read -r line; do
    for r in "$@"; do [ "${line%%=*}" = "${r%%=*}" ] && line=$r; done
    echo "$line"
  done
}
same_entries() { diff <(echo "$1") <(ini_entries "$2"); }

config_expected=$(expect_entries "$work/config.ini" "Config|Interval=9" "Threshold|Ping=7" "Threshold|DeviceManager=8")
quorvanex_expected=$(expect_entries "$work/quorvanex.ini" "Quorvanex_3|Enabled=0")
mail_before=$(cat "$work/mail.ini")

# The Monitor as the Wine service, running before the Configurator starts.
remove_service
service_exe=$work/Monitor.exe
install_service "$service_exe" && start_service
check "service running before 登録" wait_for service_running 1

check "dialog opens" start_configurator
probe dump > "$artefacts/configurator-initial.txt"
import -window root "$artefacts/configurator-initial.png" 2>/dev/null
initial=$(cat "$artefacts/configurator-initial.txt")
expected_initial="liststyle=37
column0=
column1=名前
column2=IPアドレス
rows=3
row0=2|first|127.0.0.1
row1=1|127.0.0.2|127.0.0.2
row2=2|third|127.0.0.3
ping=2
device=3
interval=4
selector=5/12 hidden
register=enabled"
check "list, fields and hidden selector show the INI files" diff <(echo "$expected_initial") <(echo "$initial")

# Letters are refused by the number fields.
click_control 1003
xdotool key --delay 20 End
xdotool type --delay 20 "ab"
check "letters refused" [ "$(field ping)" = 2 ]

# Uncheck the third server, type new numbers, press Enter (登録).
click_at $(probe point row:2)
check "row unchecked" wait_for '[ "$(probe dump | sed -n s/^row2=//p | cut -d"|" -f1)" = 1 ]' 5
retype 1003 7
retype 1005 8
retype 1004 9
check "new numbers typed" [ "$(field ping)/$(field device)/$(field interval)" = 7/8/9 ]
pressed=$(now_ms)
xdotool key Return
message=$(probe message 20000)
took=$(( $(now_ms) - pressed ))
echo "NOTE: 登録 with the service running: message after $took ms"
# Stop, 1000 ms, start, 1000 ms: never sooner.
check "restart of a running service waits twice" [ "$took" -ge 2000 ]
import -window root "$artefacts/configurator-success.png" 2>/dev/null
check "success message, empty title, OK only" [ "$message" = "$(printf 'title=[]\ntext=[設定の反映に成功しました。]\nbuttons=1 ')" ]
check "登録 disabled while the message is up" [ "$(field register)" = disabled ]
close_message
check "登録 enabled again" [ "$(field register)" = enabled ]
check "config.ini holds the new numbers, other keys unchanged" same_entries "$config_expected" "$work/config.ini"
check "quorvanex.ini: only Enabled of the unchecked server changed" same_entries "$quorvanex_expected" "$work/quorvanex.ini"
check "mail.ini untouched" [ "$(cat "$work/mail.ini")" = "$mail_before" ]
log=$work/log/log.txt
check "service log shows a stop" wait_for "[ -f '$log' ] && log_text '$log' | grep -q 'サービス停止'" 5
check "service log shows a new start" wait_for "[ -f '$log' ] && [ \$(log_text '$log' | grep -c 'サービス開始') -ge 2 ]" 5
check "service running after 登録" wait_for service_running 5

# Without the service: the failure message, and the values are saved all the same.
remove_service
check "service deleted" eval "! service_exists"
retype 1004 11
pressed=$(now_ms)
xdotool key Return
message=$(probe message 20000)
echo "NOTE: 登録 without the service: message after $(( $(now_ms) - pressed )) ms"
import -window root "$artefacts/configurator-failure.png" 2>/dev/null
check "failure message" [ "$message" = "$(printf 'title=[]\ntext=[設定の反映に失敗しました。\\n再度実行してください。]\nbuttons=1 ')" ]
close_message
check "values saved although the restart failed" [ "$(ini_entries "$work/config.ini" | grep Interval)" = "Config|Interval=11" ]

# Installed again but stopped: 登録 only starts it.
install_service "$service_exe"
pressed=$(now_ms)
xdotool key Return
message=$(probe message 20000)
took=$(( $(now_ms) - pressed ))
echo "NOTE: 登録 with the service stopped: message after $took ms"
check "stopped service started: success" [ "$message" = "$(printf 'title=[]\ntext=[設定の反映に成功しました。]\nbuttons=1 ')" ]
check "start of a stopped service waits once" [ "$took" -ge 1000 ]
check "service running after the second 登録" wait_for service_running 5
close_message

# The About box from the system menu; minimise and restore.
# The system menu (Alt+Space) ends with our entry below a separator.
click_control 1004
xdotool key alt+space
sleep 0.3  # the menu opens asynchronously
import -window root "$artefacts/configurator-sysmenu.png" 2>/dev/null
xdotool key End Return
check "About box opens" eval "probe about 5000 >/dev/null"
xdotool key Return
check "About box closes" wait_for '! probe about 0 >/dev/null' 5
check "dialog minimises" [ "$(probe minimize)" = iconic=1 ]
check "dialog restores" [ "$(probe restore)" = iconic=0 ]

# Escape quits without saving what was typed.
config_before=$(cat "$work/config.ini")
retype 1003 55
xdotool key Escape
check "Escape closes the dialog" configurator_ended
check "nothing saved on Escape" [ "$(cat "$work/config.ini")" = "$config_before" ]
finish
