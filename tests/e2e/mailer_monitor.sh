#!/usr/bin/env bash
# The Monitor in console mode with the real Ostrival.exe beside it and a mail
# server on 127.0.0.1: a ping check that always fails sends one mail per
# episode whose body is the Monitor's Body; a refused mail is logged as failed
# at every crossing, and mail.log beside log.txt says why.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/mail_lib.sh"

[ -f "$QV_BIN/Ostrival.exe" ] && [ -f "$QV_BIN/Monitor$QV_EXE" ] || skip "Monitor or Ostrival.exe not built"

work=$(e2e_tmpdir)
start_mail_server "$work/server"
name=$(computer_name)
body="ping エラー: 全サーバー応答なし"

# A Monitor directory in $1 whose mail goes to recipient $2.
prepare() {
  local dir=$1 to=$2
  mkdir -p "$dir"
  cp "$QV_BIN/Monitor$QV_EXE" "$QV_BIN/Ostrival.exe" "$dir/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n' >"$dir/config.ini"
  printf '[Config]\r\nCount=0\r\n' >"$dir/quorvanex.ini"
  printf '[Config]\r\nPomvex=0\r\n' >"$dir/message.ini"
  write_ini "$dir/mail.ini" cp932 <<EOF
[Config]
MailSend=1
Body_ping=$body
SmtpServer=localhost
SmtpPort=$PORT_STARTTLS
User=$MAIL_USER
Password=$MAIL_PASSWORD
From=monitor@example.test
To=$to
CaFile=$(program_path "$work/server/ca.pem")
TimeoutSeconds=20
EOF
}

count() { log_text "$1/log/log.txt" | grep -c -- "$2"; }

# Runs the Monitor in $1 until the threshold line was logged $2 times, then
# presses Enter.
run_until_crossings() {
  local dir=$1 crossings=$2 log=$1/log/log.txt
  mkfifo "$dir/stdin"
  (cd "$dir" && run_program "$dir/Monitor$QV_EXE" console <"$dir/stdin" >"$dir/out.txt" 2>&1) &
  local pid=$!
  exec 7>"$dir/stdin"
  wait_for "[ -s '$log' ] && [ \$(count '$dir' 'Pingエラーしきい値を超過') -ge $crossings ]" 60 ||
    fail "threshold logged $crossings times within 60 s"
  echo >&7
  exec 7>&-
  wait_for "! kill -0 $pid 2>/dev/null" 30 || { fail "Monitor stopped on Enter"; kill "$pid" 2>/dev/null; }
  wait "$pid" 2>/dev/null
}

# Delivered: crossings at cycles 2, 4, 6, 8; the first sends, the others find
# the limit of one mail reached.
ok=$work/ok
prepare "$ok" ops@example.test
run_until_crossings "$ok" 4
check "one mail sent, logged with the computer name" [ "$(count "$ok" "メール送信 成功:$name\$")" -eq 1 ]
check "no failed mail" [ "$(count "$ok" 'メール送信 失敗')" -eq 0 ]
check "the server holds one message" [ "$(mail_count "$work/server")" -eq 1 ]
cat >"$work/expected.json" <<EOF
{"from": "monitor@example.test", "to": ["ops@example.test"], "cc": [],
 "subject": "Monitor alert: $name", "body": "$body", "envelope": ["ops@example.test"]}
EOF
check "its body is the Monitor's Body, parsed back intact" \
  "$QV_PYTHON" "$QV_ROOT/tests/e2e/tools/check_mail.py" "$work/server/mail/1.eml" "$work/expected.json"
check "the copy of mail.ini is gone" [ ! -e "$ok/mail_12345.ini" ]
check "mail.log beside log.txt: sent" grep -q '|sent|0|ops@example.test||$' "$ok/log/mail.log"

# Refused recipient: every crossing retries and logs a failed mail.
bad=$work/bad
prepare "$bad" nobody@example.test
run_until_crossings "$bad" 2
crossings=$(count "$bad" 'Pingエラーしきい値を超過')
check "a failed mail at every crossing ($crossings)" [ "$(count "$bad" "メール送信 失敗:$name\$")" -eq "$crossings" ]
check "no mail logged as sent" [ "$(count "$bad" 'メール送信 成功')" -eq 0 ]
check "nothing more delivered" [ "$(mail_count "$work/server")" -eq 1 ]
check "mail.log: every failure with its reason and the server's reply" \
  [ "$(grep -c '|failed|5|nobody@example.test|[^|]\+|550 5.1.1 no such mailbox$' "$bad/log/mail.log")" -eq "$crossings" ]

stop_mail_server
finish
