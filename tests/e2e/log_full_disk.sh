#!/usr/bin/env bash
# The Monitor's log on a file system that is full: a small tmpfs this script
# mounts in a mount namespace of its own. Lines that cannot be written wait
# (a write cut short is cut back, so no half line stays) and reach log.txt
# whole once there is room; at stop the last write is retried for a while,
# and what is finally given up is reported once on standard error. The first
# failed write also says once that the log cannot be written; nothing else
# goes to standard error.
source "$(dirname "$0")/lib.sh"
[ "$QV_PLATFORM" = posix ] || skip "a tmpfs is mounted natively only (Wine: see the locked-file test)"

if [ "${1:-}" != --inside ]; then
  unshare --mount true 2>/dev/null || skip "mount namespaces are not permitted here (unshare --mount failed)"
  rm -rf "$QV_E2E_TMP"  # exec skips the exit trap; the inner run makes its own
  exec unshare --mount --propagation private bash "$0" --inside
fi

# Byte lengths of the lines in code page 932 with CR LF: stamp (19) + "|-|" +
# text + 2.
start_bytes=$((19 + 3 + 4 + 2 + 19 + 3 + 22 + 2))  # 開始, エラーカウント監視開始
stop_bytes=$((19 + 3 + 4 + 2))                     # 停止
page=$(getconf PAGESIZE)

# A run directory whose log directory is a tmpfs holding a log.txt of
# $2 bytes (one earlier, valid line), and a filler that takes every other page.
prepare() {
  local d=$1 size=$2
  mkdir -p "$d/log"
  cp "$QV_BIN/Monitor" "$d/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=0\r\nDeviceManager=0\r\n' >"$d/config.ini"
  mount -t tmpfs -o size=$((16 * page)) tmpfs "$d/log" || skip "mounting a tmpfs is not permitted here"
  mounts+=("$d/log")
  { printf '2026/12/06 14:22:39|-|'; head -c $((size - 24)) /dev/zero | tr '\0' x; printf '\r\n'; } >"$d/log/log.txt"
  fill "$d"
}
fill() { dd if=/dev/zero of="$1/log/filler" bs="$page" 2>/dev/null; sync; }
mounts=()
trap 'for m in "${mounts[@]}"; do umount "$m"; done; rm -rf "$QV_E2E_TMP"' EXIT

start_monitor() {  # directory
  mkfifo "$1/in"
  (cd "$1" && exec ./Monitor run <"$1/in" >"$1/out.txt" 2>"$1/err.txt") &
  monitor_pid=$!
  exec 6>"$1/in"
}
press_enter() { echo >&6; exec 6>&-; }
ended_within() {  # seconds
  if ! wait_for "! kill -0 $monitor_pid 2>/dev/null" "$1"; then
    kill -s KILL "$monitor_pid"
    wait "$monitor_pid" 2>/dev/null
    return 1
  fi
  wait "$monitor_pid"
  monitor_rc=$?
}

# The log after the earlier line: every line whole, with the expected texts.
lines_after_earlier() {  # log file, size of the earlier line
  tail -c +$(($2 + 1)) "$1" | iconv -f CP932 -t UTF-8 | tr -d '\r' |
    sed -E 's#^[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\|-\|##' | tr '\n' ' '
}
earlier_line_intact() {  # log file, size
  [ "$(head -c "$2" "$1" | tail -c 2 | od -An -tx1 | tr -d ' ')" = 0d0a ] &&
    [ "$(head -c 23 "$1")" = "2026/12/06 14:22:39|-|x" ]
}

root=$(e2e_tmpdir)

# 1. Full from the start: the first pass is cut short (a few bytes still fit
# in log.txt's last page) and every pass fails, until room is made.
d=$root/full-at-start
size=$((page - 10))
prepare "$d" "$size"
start_monitor "$d"
sleep 2
check "full at start: only the earlier line, no part of a new one" \
  test "$(stat -c %s "$d/log/log.txt")" = "$size"
rm -f "$d/log/filler"
check "full at start: the start lines arrive once there is room" \
  wait_for "[ \"\$(lines_after_earlier '$d/log/log.txt' $size)\" = '開始 エラーカウント監視開始 ' ]" 10
press_enter
check "full at start: run ended" ended_within 20
check "full at start: exit code 0" test "${monitor_rc:-1}" = 0
check "full at start: all lines whole and in order" \
  test "$(lines_after_earlier "$d/log/log.txt" "$size")" = "開始 エラーカウント監視開始 停止 "
check "full at start: earlier line intact" earlier_line_intact "$d/log/log.txt" "$size"
check "full at start: only the note that the log cannot be written" \
  test "$(cat "$d/err.txt")" = "ログを書き込めません:$d/log/log.txt"

# 2. Full at stop, room again 1.5 s later: the final write waits for it.
# The start lines end 10 bytes before the page boundary; 停止 does not fit.
d=$root/full-at-stop
size=$((page - start_bytes - 10))
prepare "$d" "$size"
rm -f "$d/log/filler"
start_monitor "$d"
wait_for "[ \"\$(lines_after_earlier '$d/log/log.txt' $size)\" = '開始 エラーカウント監視開始 ' ]" 10 ||
  fail "full at stop: start lines written"
fill "$d"
press_enter
sleep 1.5
check "full at stop: still retrying, no part of 停止 in the file" \
  test "$(stat -c %s "$d/log/log.txt")" = $((size + start_bytes))
rm -f "$d/log/filler"
check "full at stop: run ended" ended_within 20
check "full at stop: exit code 0" test "${monitor_rc:-1}" = 0
check "full at stop: 停止 written whole" \
  test "$(lines_after_earlier "$d/log/log.txt" "$size")" = "開始 エラーカウント監視開始 停止 "
check "full at stop: only the note that the log cannot be written" \
  test "$(cat "$d/err.txt")" = "ログを書き込めません:$d/log/log.txt"

# 3. Full at stop for good: given up after the retries, reported once.
d=$root/full-for-good
prepare "$d" "$size"
rm -f "$d/log/filler"
start_monitor "$d"
wait_for "[ \"\$(lines_after_earlier '$d/log/log.txt' $size)\" = '開始 エラーカウント監視開始 ' ]" 10 ||
  fail "full for good: start lines written"
fill "$d"
press_enter
check "full for good: run ended" ended_within 30
check "full for good: exit code 0" test "${monitor_rc:-1}" = 0
check "full for good: no part of 停止 in the file" \
  test "$(lines_after_earlier "$d/log/log.txt" "$size")" = "開始 エラーカウント監視開始 "
err=$(cat "$d/err.txt")
echo "  standard error: $err"
check "full for good: the note, then one report of one lost line" \
  test "$err" = "$(printf 'ログを書き込めません:%s\nログに書けなかった 1 行を破棄しました: %s' "$d/log/log.txt" "$d/log/log.txt")"
finish
