#!/usr/bin/env bash
# One Monitor per program folder. While a console run holds its folder, a
# second console run prints the fatal line, exits 1 and touches nothing (no
# start line in the log, the mail copy left alone), and the service started
# from that folder stops without running (Windows: exit code 1056; Linux:
# exit 1 and never READY). A Monitor in another folder runs, and once the
# first has ended its folder is free again.
source "$(dirname "$0")/lib.sh"

root=$(e2e_tmpdir)
layout() {
  mkdir -p "$1"
  cp "$QV_BIN/Monitor$QV_EXE" "$1/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=0\r\nDeviceManager=0\r\n' >"$1/config.ini"
}
# What a program printed, as UTF-8 (the Windows build writes CP932 to a pipe).
printed() {
  if [ "$QV_PLATFORM" = win32 ]; then iconv -f CP932 -t UTF-8 "$1"; else cat "$1"; fi | tr -d '\r'
}
started() { [ -s "$1/log/log.txt" ] && log_text "$1/log/log.txt" | grep -q 'エラーカウント監視開始'; }
fatal="致命的なエラー: このフォルダの Monitor は既に動作しています"

# The first run holds the folder until Enter.
a=$root/a
layout "$a"
mkfifo "$a/stdin"
(cd "$a" && run_program "$a/Monitor$QV_EXE" console <"$a/stdin" >"$a/out.txt" 2>&1) &
first=$!
exec 7>"$a/stdin"
wait_for "started '$a'" 20 || fail "first Monitor started"
# As if the first one were sending a mail right now.
printf '[Config]\r\nBody=first\r\n' >"$a/mail_12345.ini"
cp "$a/log/log.txt" "$root/log-before.txt"

run_program "$a/Monitor$QV_EXE" console </dev/null >"$root/second.out" 2>"$root/second.err"
rc=$?
check "second run: exit code 1 ($rc)" test "$rc" = 1
check "second run: the fatal line alone ($(printed "$root/second.out"))" test "$(printed "$root/second.out")" = "$fatal"
check "second run: nothing on standard error" test ! -s "$root/second.err"
check "second run: log unchanged" cmp -s "$a/log/log.txt" "$root/log-before.txt"
check "second run: the mail copy untouched" grep -q '^Body=first' "$a/mail_12345.ini"

if [ "$QV_PLATFORM" = win32 ]; then
  name=quorvanexdevicechecker
  exit_code() { qv_wine sc query "$name" 2>/dev/null | tr -d '\r' | sed -nE 's/.*WIN32_EXIT_CODE +: +([0-9]+).*/\1/p'; }
  qv_wine sc stop "$name" >/dev/null 2>&1
  qv_wine sc delete "$name" >/dev/null 2>&1
  trap "qv_wine sc stop $name >/dev/null 2>&1; qv_wine sc delete $name >/dev/null 2>&1; rm -rf '$QV_E2E_TMP'" EXIT
  qv_wine sc create "$name" binPath= "$(program_path "$a/Monitor.exe")" >/dev/null
  qv_wine sc start "$name" >/dev/null 2>&1
  check "service: stopped with exit code 1056" wait_for '[ "$(exit_code)" = 1056 ]' 20
  qv_wine sc delete "$name" >/dev/null
else
  /usr/bin/python3 - "$a/Monitor" "$root/notify.sock" >"$root/service.txt" 2>&1 <<'PY'
import os, socket, subprocess, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[2])
s.settimeout(0.2)
p = subprocess.run([sys.argv[1]], env=dict(os.environ, NOTIFY_SOCKET=sys.argv[2]), stdin=subprocess.DEVNULL,
                   capture_output=True, timeout=30)
said = []
try:
    while True:
        said += s.recv(4096).decode().split("\n")
except socket.timeout:
    pass
print("rc=%d ready=%d" % (p.returncode, "READY=1" in said))
sys.stdout.write(p.stdout.decode())
PY
  check "service: exit 1, never READY ($(head -1 "$root/service.txt"))" grep -qx 'rc=1 ready=0' "$root/service.txt"
  check "service: the fatal line in the journal" grep -qx "$fatal" "$root/service.txt"
fi
check "service: log unchanged" cmp -s "$a/log/log.txt" "$root/log-before.txt"
check "service: the mail copy untouched" grep -q '^Body=first' "$a/mail_12345.ini"

b=$root/b
layout "$b"
run_program "$b/Monitor$QV_EXE" console </dev/null >"$b/out.txt" 2>&1
rc=$?
check "another folder: runs ($rc)" bash -c "[ $rc = 0 ] && [ ! -s '$b/out.txt' ] && [ -s '$b/log/log.txt' ]"

echo >&7
exec 7>&-
wait "$first"
check "first run: ended normally" test "$?" = 0
rm -f "$a/log/log.txt"
run_program "$a/Monitor$QV_EXE" console </dev/null >"$a/out.txt" 2>&1
check "after the first: the folder is free" started "$a"

finish
