#!/usr/bin/env bash
# One Monitor per program folder. While a console run holds its folder, a
# second console run (on Windows through the folder's path in upper case)
# prints the fatal line, exits 1 and touches nothing (no start line, the mail
# copy left alone), and the service started from that folder stops without
# running (Windows: exit code 1056; Linux: exit 1). A Monitor in another
# folder runs; after the first the folder is free.
source "$(dirname "$0")/lib.sh"

root=$(e2e_tmpdir)
layout() {
  mkdir -p "$1" && cp "$QV_BIN/Monitor$QV_EXE" "$1/"
  printf '[Config]\r\nInterval=0\r\n[Threshold]\r\nPing=0\r\nDeviceManager=0\r\n' >"$1/config.ini"
}
# What a program printed, in UTF-8 (the Windows build writes CP932 to a pipe).
printed() { if [ "$QV_PLATFORM" = win32 ]; then iconv -f CP932 -t UTF-8 "$1"; else cat "$1"; fi | tr -d '\r'; }
fatal="致命的なエラー: このフォルダの Monitor は既に動作しています"
untouched() { cmp -s "$a/log/log.txt" "$root/log-before.txt" && grep -q '^Body=first' "$a/mail_12345.ini"; }

a=$root/a
layout "$a" && mkfifo "$a/stdin"
(cd "$a" && run_program "$a/Monitor$QV_EXE" console <"$a/stdin" >/dev/null 2>&1) &
first=$!
exec 7>"$a/stdin"
wait_for "log_text '$a/log/log.txt' 2>/dev/null | grep -q 'エラーカウント監視開始'" 20 || fail "first Monitor started"
printf '[Config]\r\nBody=first\r\n' >"$a/mail_12345.ini"  # as if it were sending a mail now
cp "$a/log/log.txt" "$root/log-before.txt"

second=$a/Monitor$QV_EXE
[ "$QV_PLATFORM" = win32 ] && second=$(program_path "${a^^}/MONITOR.EXE")
run_program "$second" console </dev/null >"$root/out" 2>"$root/err"
check "second run: exit code 1 ($?)" test $? = 1
check "second run: the fatal line alone" test "$(printed "$root/out")" = "$fatal"
check "second run: nothing on standard error" test ! -s "$root/err"
check "second run: log and mail copy untouched" untouched

if [ "$QV_PLATFORM" = win32 ]; then
  name=quorvanexdevicechecker
  exit_code() { qv_wine sc query "$name" 2>/dev/null | tr -d '\r' | sed -nE 's/.*WIN32_EXIT_CODE +: +([0-9]+).*/\1/p'; }
  qv_wine sc delete "$name" >/dev/null 2>&1
  trap "qv_wine sc stop $name >/dev/null 2>&1; qv_wine sc delete $name >/dev/null 2>&1; rm -rf '$QV_E2E_TMP'" EXIT
  qv_wine sc create "$name" binPath= "$(program_path "$a/Monitor.exe")" >/dev/null
  qv_wine sc start "$name" >/dev/null 2>&1
  check "service: stopped with exit code 1056" wait_for '[ "$(exit_code)" = 1056 ]' 20
  qv_wine sc delete "$name" >/dev/null
else
  # Started the way systemd starts it; nobody listens at the socket.
  NOTIFY_SOCKET=$root/notify.sock "$a/Monitor" </dev/null >"$root/out" 2>&1
  check "service: exit code 1 ($?)" test $? = 1
  check "service: the fatal line in the journal" test "$(cat "$root/out")" = "$fatal"
fi
check "service: log and mail copy untouched" untouched

layout "$root/b"
run_program "$root/b/Monitor$QV_EXE" console </dev/null >"$root/b/out" 2>&1
check "another folder: runs" bash -c "[ $? = 0 ] && [ ! -s '$root/b/out' ] && [ -s '$root/b/log/log.txt' ]"

echo >&7 && exec 7>&- && wait "$first"
check "first run: ended normally" test $? = 0
rm "$a/log/log.txt"
run_program "$a/Monitor$QV_EXE" console </dev/null >/dev/null 2>&1
check "after the first: the folder is free" test -s "$a/log/log.txt"
finish
