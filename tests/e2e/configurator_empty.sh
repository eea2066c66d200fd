#!/usr/bin/env bash
# Configurator.exe with no server configured and no config.ini, and no
# service installed: the list shows only its headers, 登録 creates config.ini
# with just the three numbers and reports the failed restart; 終了 and the
# close command end the program.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/configurator_lib.sh"
cp "$QV_BIN/Configurator.exe" "$work/"
printf '[Config]\r\nMailSend=99\r\n' > "$work/mail.ini"
remove_service

check "dialog opens" start_configurator
expected="liststyle=37
column0=
column1=名前
column2=IPアドレス
rows=0
ping=5
device=5
interval=5
selector=-1/12 hidden
register=enabled"
check "headers only, defaults, no selector item for MailSend 99" diff <(echo "$expected") <(probe dump)

click_at $(probe point 1003)  # keyboard focus into the dialog
xdotool key Return
check "failure message without the service" \
  [ "$(probe message 20000 | sed -n 's/^text=//p')" = "[設定の反映に失敗しました。\\n再度実行してください。]" ]
xdotool key Return
wait_for '! probe message 0 >/dev/null' 5
written=$(tr -d '\r' < "$work/config.ini" 2>/dev/null)
check "config.ini created with exactly the three numbers" \
  [ "$(grep -v '^$' <<<"$written")" = "$(printf '[Config]\nInterval=5\n[Threshold]\nPing=5\nDeviceManager=5')" ]
check "no quorvanex.ini made" [ ! -e "$work/quorvanex.ini" ]
check "mail.ini untouched" [ "$(cat "$work/mail.ini")" = "$(printf '[Config]\r\nMailSend=99\r\n')" ]

click_at $(probe point 2)
check "終了 ends the program" configurator_ended

check "dialog opens again" start_configurator
probe syscommand 61536 >/dev/null  # SC_CLOSE, what the close box sends
check "the close command ends the program" configurator_ended
finish
