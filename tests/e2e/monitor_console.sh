#!/usr/bin/env bash
# Monitor in console mode, as a user starts it: any argument, then Enter or
# the end of standard input; no output, exit 0, start and stop in the log.
# A stop by signal (Linux: SIGINT, SIGTERM, SIGHUP; Wine: SIGINT, which Wine
# hands to the program as Ctrl-C) ends the run the same way.
source "$(dirname "$0")/lib.sh"

# A run directory with the program and both checks switched off.
layout() {
  local d=$1
  cp "$QV_BIN/Monitor$QV_EXE" "$d/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=0\r\nDeviceManager=0\r\n' >"$d/config.ini"
}

# The log's lines in order, each "<stamp>|-|<text>", with every line in CRLF
# and the fixed texts in code page 932.
check_log() {
  local what=$1 log=$2 start=$3 stop=$4
  check "$what: log.txt written" test -s "$log"
  local lf crlf
  lf=$(tr -cd '\n' <"$log" | wc -c)
  crlf=$(grep -c $'\r$' "$log")
  check "$what: every line ends in CR LF ($crlf of $lf)" test "$lf" = "$crlf" -a "$lf" -ge 3
  check "$what: CP932 bytes of 開始" bash -c "xxd -p '$log' | tr -d '\n' | grep -q 8a4a8e6e"
  local text expected
  text=$(log_text "$log" | sed -E 's#^[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\|#<stamp>|#')
  expected=$(printf '<stamp>|-|%s\n<stamp>|-|%s\n<stamp>|-|%s' "$start" "エラーカウント監視開始" "$stop")
  if [ "$text" = "$expected" ]; then pass "$what: log lines"; else fail "$what: log lines: $text"; fi
}

root=$(e2e_tmpdir)

# Enter after a second.
d="$root/enter"; mkdir -p "$d"; layout "$d"
{ sleep 1; echo; sleep 0.2; } | {
  run_program "$d/Monitor$QV_EXE" run >"$d/out.txt" 2>"$d/err.txt"
  echo $? >"$d/rc.txt"
}
check "Enter: exit code 0" test "$(cat "$d/rc.txt")" = 0
check "Enter: nothing on standard output" test ! -s "$d/out.txt"
check "Enter: nothing on standard error" test ! -s "$d/err.txt"
check_log "Enter" "$d/log/log.txt" "開始" "停止"

# An empty argument is an argument too; standard input already closed.
d="$root/eof"; mkdir -p "$d"; layout "$d"
started=$(date +%s%N)
run_program "$d/Monitor$QV_EXE" "" </dev/null >"$d/out.txt" 2>"$d/err.txt"
rc=$?
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
check "end of input: exit code 0" test "$rc" = 0
check "end of input: nothing printed" test ! -s "$d/out.txt" -a ! -s "$d/err.txt"
check_log "end of input" "$d/log/log.txt" "開始" "停止"
# The worker's one-second sleep bounds the stop; generous for a loaded machine.
check "end of input: stopped in ${elapsed_ms} ms" test "$elapsed_ms" -lt 5000

# Started in the background, standard input held open, stopped by a signal
# once the start is logged.
stop_by_signal() {
  local sig=$1 d="$root/$1" pid rc
  mkdir -p "$d"; layout "$d"
  mkfifo "$d/in"
  (cd "$d" && exec "${wine[@]}" "$d/Monitor$QV_EXE" run <"$d/in" >"$d/out.txt" 2>"$d/err.txt") &
  pid=$!
  exec 4>"$d/in"
  wait_for "[ -f '$d/log/log.txt' ] && log_text '$d/log/log.txt' | grep -q 'エラーカウント監視開始'" 20 ||
    fail "$sig: start logged"
  kill -s "$sig" "$pid"
  if ! wait_for "! kill -0 $pid 2>/dev/null" 20; then
    fail "$sig: the run ended"
    kill -s KILL "$pid"
  fi
  wait "$pid"
  rc=$?
  exec 4>&-
  check "$sig: exit code 0 ($rc)" test "$rc" = 0
  check "$sig: nothing printed" test ! -s "$d/out.txt" -a ! -s "$d/err.txt"
  check_log "$sig" "$d/log/log.txt" "開始" "停止"
}
if [ "$QV_PLATFORM" = win32 ]; then
  wine=(env LC_ALL=ja_JP.UTF-8 wine)
  stop_by_signal INT
else
  wine=()
  for sig in INT TERM HUP; do stop_by_signal "$sig"; done
fi

finish
