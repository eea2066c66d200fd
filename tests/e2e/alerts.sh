#!/usr/bin/env bash
# The Monitor in console mode with a ping check that always fails (no server
# configured), the on-screen alert and one mail per episode switched on, and a
# fake mailer beside it: one screen alert attempt and one sent mail per
# episode; a failing mailer is retried, and logged as failed, at every cycle.
source "$(dirname "$0")/lib.sh"

name=$(hostname | cut -d. -f1 | tr '[:lower:]' '[:upper:]' | cut -c1-15)

# Sets up a Monitor directory in $1 whose mailer exits with $2.
prepare() {
  local dir=$1 code=$2
  mkdir -p "$dir"
  cp "$QV_BIN/Monitor$QV_EXE" "$dir/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n' >"$dir/config.ini"
  printf '[Config]\r\nHardware=USB\\VID_0000&PID_0000\r\nCount=0\r\n' >"$dir/quorvanex.ini"
  printf '[Config]\r\nMailSend=1\r\nServer=smtp.test\r\nBody_ping=ping <name> down\r\n[Test]\r\nExitCode=%s\r\n' \
    "$code" >"$dir/mail.ini"
  printf '[Config]\r\nPomvex=1\r\nBody_ping=screen ping\r\n' >"$dir/message.ini"
  if [ "$QV_PLATFORM" = win32 ]; then
    cp "$QV_BIN/fake_mailer.exe" "$dir/Ostrival.exe"
  else
    # A script: started from its path, without a shell in between.
    cat >"$dir/Ostrival.exe" <<'EOF'
#!/bin/sh
d=$(dirname "$0")
body=$(sed -n 's/^Body=//p' "$1" | tr -d '\r')
code=$(sed -n 's/^ExitCode=//p' "$1" | tr -d '\r')
echo "$1 exit=${code:-0} body=$body" >>"$d/mailer_calls.txt"
exit "${code:-0}"
EOF
    chmod +x "$dir/Ostrival.exe"
    # Nobody logged in: the terminals of this machine's users stay untouched.
    : >"$dir/utmp"
  fi
}

# Runs the Monitor in $1 until the threshold line was logged $2 times, then
# presses Enter. Returns 77 when no crossing comes at all: this build has no
# log writer or no check cycle yet (the cycle has end-to-end tests of its own).
run_until_crossings() {
  local dir=$1 crossings=$2 log=$1/log/log.txt rc=0
  mkfifo "$dir/stdin"
  (
    cd "$dir" || exit 1
    export QV_UTMP_FILE="$dir/utmp"
    run_program "$dir/Monitor$QV_EXE" console <"$dir/stdin" >"$dir/out.txt" 2>&1
  ) &
  local pid=$!
  exec 7>"$dir/stdin"
  local threshold="[ -s '$log' ] && [ \$(log_text '$log' | grep -c 'Pingエラーしきい値を超過') -ge"
  if ! wait_for "$threshold 1 ]" 20; then
    rc=77
  elif ! wait_for "$threshold $crossings ]" 60; then
    fail "threshold logged $crossings times within 60 s"
  fi
  echo >&7
  exec 7>&-
  wait_for "! kill -0 $pid 2>/dev/null" 30 || { fail "Monitor stopped on Enter"; kill "$pid" 2>/dev/null; }
  wait "$pid" 2>/dev/null
  return $rc
}

count() { log_text "$1/log/log.txt" | grep -c -- "$2"; }

work=$(e2e_tmpdir)

# One episode, mailer succeeds: crossings at cycles 2, 4, 6 and 8; the first
# shows the message and sends the mail, the later ones find the limit reached.
ok=$work/ok
prepare "$ok" 0
run_until_crossings "$ok" 4
[ $? -eq 77 ] && skip "no threshold crossing within 20 s: this build has no check cycle yet"
# The line says that the message reached someone: Wine's Win32_Process.Create
# cannot start msg.exe, and on Linux nobody is logged in, so it never appears.
shown=0
check "on-screen alert logged $shown time(s) in the episode" [ "$(count "$ok" 'メッセージ表示ping$')" -eq $shown ]
check "one mail sent, logged with the computer name" [ "$(count "$ok" "メール送信 成功:$name\$")" -eq 1 ]
check "no failed mail" [ "$(count "$ok" 'メール送信 失敗')" -eq 0 ]
check "the mailer ran once" [ "$(wc -l <"$ok/mailer_calls.txt")" -eq 1 ]
check "its argument is the copy beside it" grep -q "mail_12345.ini exit=0" "$ok/mailer_calls.txt"
check "the copy is gone" [ ! -e "$ok/mail_12345.ini" ]
if [ "$QV_PLATFORM" = win32 ]; then
  check "the mailer found the body" grep -qx "body=ping <name> down" "$ok/mailer_record.txt"
else
  check "the mailer found the body" grep -q "body=ping <name> down$" "$ok/mailer_calls.txt"
fi

# Mailer fails: every cycle from the first crossing on logs the crossing and a
# failed mail; the on-screen alert still comes once.
bad=$work/bad
prepare "$bad" 1
run_until_crossings "$bad" 4
crossings=$(count "$bad" 'Pingエラーしきい値を超過')
check "a failed mail at every crossing ($crossings)" [ "$(count "$bad" "メール送信 失敗:$name\$")" -eq "$crossings" ]
check "crossings every cycle once failing" [ "$crossings" -ge 4 ]
check "no mail logged as sent" [ "$(count "$bad" 'メール送信 成功')" -eq 0 ]
check "on-screen alert logged $shown time(s)" [ "$(count "$bad" 'メッセージ表示ping$')" -eq $shown ]
check "the mailer ran at every crossing" [ "$(wc -l <"$bad/mailer_calls.txt")" -eq "$crossings" ]
check "the copy is gone" [ ! -e "$bad/mail_12345.ini" ]

finish
