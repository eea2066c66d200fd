#!/usr/bin/env bash
# Under Wine: another program holds log.txt open without sharing from before
# the stop until after it. The lines queued meanwhile (threshold lines every
# two seconds, then 停止) wait and are written, whole and in order, once the
# file is free; a file held for good is given up after the retries, and that
# is reported once on standard error.
source "$(dirname "$0")/lib.sh"
[ "$QV_PLATFORM" = win32 ] || skip "sharing locks are Windows files' (natively: the full-disk test)"
[ -x "$QV_BIN/qv_filelock.exe" ] || skip "qv_filelock.exe not built"

stamp_re='^[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\|-\|'

# Ping check on with no server: a threshold line every second cycle.
prepare() {
  mkdir -p "$1"
  cp "$QV_BIN/Monitor.exe" "$1/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n' >"$1/config.ini"
  printf '[Config]\r\nCount=0\r\n' >"$1/quorvanex.ini"
  printf '[Config]\r\nMailSend=0\r\n' >"$1/mail.ini"
  printf '[Config]\r\nPomvex=0\r\n' >"$1/message.ini"
}
start_monitor() {
  mkfifo "$1/in"
  (cd "$1" && exec env LC_ALL=ja_JP.UTF-8 wine "$1/Monitor.exe" run <"$1/in" >"$1/out.txt" 2>"$1/err.txt") &
  monitor_pid=$!
  exec 6>"$1/in"
  wait_for "[ -f '$1/log/log.txt' ] && log_text '$1/log/log.txt' | grep -q 'エラーカウント監視開始'" 30 ||
    fail "$1: Monitor started"
}
lock_log() {  # directory, ms
  (qv_wine "$QV_BIN/qv_filelock.exe" "$(program_path "$1/log/log.txt")" "$2" >"$1/lock.txt") &
  lock_pid=$!
  wait_for "grep -q locked '$1/lock.txt'" 20 || fail "$1: log.txt held"
}
stop_monitor() {  # seconds to wait for the end
  echo >&6
  exec 6>&-
  if ! wait_for "! kill -0 $monitor_pid 2>/dev/null" "$1"; then
    fail "the run ended within $1 s"
    kill -s KILL "$monitor_pid"
  fi
  wait "$monitor_pid"
  monitor_rc=$?
}
texts() { log_text "$1/log/log.txt" | sed -E "s#$stamp_re##"; }
whole_lines() { ! log_text "$1/log/log.txt" | grep -vqE "$stamp_re"; }

root=$(e2e_tmpdir)

# Held for 6 s from 3 s before Enter: nothing is lost.
d=$root/released
prepare "$d"
start_monitor "$d"
lock_log "$d" 6000
size_held=$(stat -c %s "$d/log/log.txt")
sleep 3
size_at_stop=$(stat -c %s "$d/log/log.txt")
stop_monitor 30
wait "$lock_pid"
texts "$d" | sed 's/^/  log: /'
check "released: nothing reached the file while it was held" test "$size_held" = "$size_at_stop"
check "released: exit code 0" test "$monitor_rc" = 0
check "released: nothing printed but the note that the log cannot be written" \
  bash -c "test ! -s '$d/out.txt' && iconv -f CP932 -t UTF-8 '$d/err.txt' | tr -d '\r' | grep -qxE 'ログを書き込めません:Z:.*log.txt' && test \$(wc -l <'$d/err.txt') = 1"
check "released: every line whole" whole_lines "$d"
check "released: start lines, the threshold lines of the held time, 停止" \
  grep -qxE '開始 エラーカウント監視開始 (Pingエラーしきい値を超過 )+停止 ' <<<"$(texts "$d" | tr '\n' ' ')"
check "released: lines in time order" bash -c "iconv -f CP932 -t UTF-8 '$d/log/log.txt' | cut -c1-19 | sort -c"

# Held for good (12 s from Enter, beyond the 5 s of retries): given up,
# reported once.
d=$root/held
prepare "$d"
start_monitor "$d"
lock_log "$d" 12000
stop_monitor 30
wait "$lock_pid"
check "held: exit code 0" test "$monitor_rc" = 0
check "held: no stop line" bash -c "! iconv -f CP932 -t UTF-8 '$d/log/log.txt' | grep -q '停止'"
err=$(iconv -f CP932 -t UTF-8 "$d/err.txt" | tr -d '\r')
echo "  standard error: $err"
check "held: the note that the log cannot be written" grep -qxE "ログを書き込めません:Z:.*log.txt" <<<"$(sed -n 1p <<<"$err")"
check "held: then one report of the lines given up" \
  grep -qxE "ログに書けなかった [0-9]+ 行を破棄しました: Z:.*log.txt" <<<"$(sed -n 2p <<<"$err")"
check "held: nothing else" test "$(wc -l <<<"$err")" = 2
finish
