#!/usr/bin/env bash
# 登録 against the real Monitor service under Wine, over and over: twenty
# restarts in a row that must all succeed (run it with both cores busy to see
# it hold under load), one while the service is sending a mail through a
# mailer that takes 20 s (the stop waits for it; the Configurator waits for
# STOPPED before it starts the service), an Enter typed twice (the second
# must not close the result box), and a save that fails on write-protected
# files (failure message, service left alone).
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/configurator_lib.sh"
cp "$QV_BIN/Configurator.exe" "$QV_BIN/Monitor.exe" "$work/"
cp "$QV_BIN/fake_mailer.exe" "$work/Ostrival.exe"
crlf() { sed 's/$/\r/'; }
crlf > "$work/config.ini" <<'INI'
[Config]
Interval=0
LogDir=log
[Threshold]
Ping=0
DeviceManager=0
INI
crlf > "$work/quorvanex.ini" <<'INI'
[Config]
Count=1
[Quorvanex_1]
Enabled=0
Server=127.0.0.1
INI
crlf > "$work/mail.ini" <<'INI'
[Config]
MailSend=1
Server=smtp.test
[Test]
SleepMs=20000
INI
crlf > "$work/message.ini" <<'INI'
[Config]
Pomvex=0
INI
log=$work/log/log.txt
count_in_log() { if [ -f "$log" ]; then log_text "$log" | grep -c "|$1\$"; else echo 0; fi; }
stopped_times_and_running() { [ "$(count_in_log サービス停止)" = "$1" ] && service_running; }
# Of the mail and stop lines, the one just before stop number $1 is a mail
# sent. Read in order: the restarted service may have logged a new mail since.
mail_before_stop() {
  log_text "$log" | sed -E 's/^[^|]*\|-\|//' | grep -E '^(メール送信|サービス停止)' |
    awk -v n="$1" '/^サービス停止/ && ++stops == n { ok = last ~ /^メール送信 成功:/ }
                   { last = $0 } END { exit !ok }'
}
box_still_up() { [ -n "$message" ] && probe message 0 >/dev/null; }
success="$(printf 'title=[]\ntext=[設定の反映に成功しました。]\nbuttons=1 ')"
failure="$(printf 'title=[]\ntext=[設定の反映に失敗しました。\\n再度実行してください。]\nbuttons=1 ')"
protected=()
unprotect() { [ ${#protected[@]} -eq 0 ] || chattr -i "${protected[@]}" 2>/dev/null; protected=(); }
trap 'unprotect; cleanup' EXIT

remove_service
install_service "$work/Monitor.exe" && start_service
check "service running before 登録" wait_for service_running 1
check "dialog opens" start_configurator
wait_for "[ \"\$(count_in_log サービス開始)\" -ge 1 ]" 20

# Twenty restarts in a row. The last one switches the ping check on: with no
# server answering, the restarted service sends a mail at its second cycle.
ok=0 times=()
for round in $(seq 1 20); do
  starts=$(count_in_log サービス開始)
  [ "$round" = 20 ] && retype 1003 1
  click_control 1004
  pressed=$(now_ms)
  xdotool key Return
  message=$(probe message 120000)
  times+=($(( $(now_ms) - pressed )))
  if [ "$message" = "$success" ] && service_running &&
     wait_for "[ \"\$(count_in_log サービス開始)\" -gt $starts ]" 10; then
    ok=$((ok + 1))
  else
    echo "round $round: message [$message], service running: $(service_running && echo yes || echo no)"
  fi
  close_message
done
echo "NOTE: 20 restarts, message after (ms): ${times[*]}"
check "20 of 20 restarts succeeded ($ok)" [ "$ok" = 20 ]

# A mail under way: the mailer started by the restarted service takes 20 s.
check "mailer running" wait_for "[ -s '$work/mailer_calls.txt' ]" 30
sed -i 's/^SleepMs=20000/SleepMs=0/' "$work/mail.ini"  # the next service's mail is quick
stops=$(count_in_log サービス停止)
click_control 1004
pressed=$(now_ms)
xdotool key Return
message=$(probe message 120000)
took=$(( $(now_ms) - pressed ))
echo "NOTE: 登録 while a 20 s mailer runs: message after $took ms"
check "restart during a mail: success" [ "$message" = "$success" ]
close_message
check "restart during a mail: the mail ended before the stop" mail_before_stop $((stops + 1))
check "restart during a mail: stopped once, running again" stopped_times_and_running $((stops + 1))

# Enter typed twice: the second, typed while the dialog was busy, is dropped.
click_control 1004
xdotool key --delay 150 Return Return
message=$(probe message 120000)
sleep 2
check "Enter typed ahead: the result box stays up" box_still_up
close_message

# Write-protected INI files (immutable: root writes through mere permissions).
stops=$(count_in_log サービス停止)
if chattr +i "$work/config.ini" "$work/quorvanex.ini" 2>/dev/null; then
  protected=("$work/config.ini" "$work/quorvanex.ini")
  retype 1004 9
  xdotool key Return
  message=$(probe message 60000)
  check "failed save: failure message" [ "$message" = "$failure" ]
  close_message
  unprotect
  check "failed save: nothing written" [ "$(tr -d '\r' <"$work/config.ini" | grep Interval)" = Interval=0 ]
  sleep 2
  check "failed save: the service was not restarted" stopped_times_and_running "$stops"
else
  echo "SKIP: write-protected files (chattr +i is not permitted on this file system)"
fi
finish
