#!/usr/bin/env bash
# Monitor in console mode with a cycle every second and ping threshold 1: a
# server that cannot answer crosses the threshold at every second cycle, the
# loopback address never does.
source "$(dirname "$0")/lib.sh"
work=$(e2e_tmpdir)
line='Pingエラーしきい値を超過'

prepare() {  # directory, server [, a second server that is switched off]
  local d=$1
  mkdir -p "$d"
  cp "$QV_BIN/Monitor$QV_EXE" "$d/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n' >"$d/config.ini"
  printf '[Config]\r\nHardware=USB\\VID_0000\r\nCount=2\r\n[Quorvanex_1]\r\nEnabled=1\r\nServer=%s\r\n' "$2" >"$d/quorvanex.ini"
  if [ -n "${3:-}" ]; then
    printf '[Quorvanex_2]\r\nEnabled=0\r\nServer=%s\r\n' "$3" >>"$d/quorvanex.ini"
  fi
  printf '[Config]\r\nMailSend=0\r\n' >"$d/mail.ini"
  printf '[Config]\r\nPomvex=0\r\n' >"$d/message.ini"
}

# Starts the Monitor in $1 and keeps its standard input open on fd 3.
start_monitor() {
  rm -f "$1/in"
  mkfifo "$1/in"
  (cd "$1" && run_program "$(program_path "$1/Monitor$QV_EXE")" console <"$1/in" >/dev/null 2>&1) &
  monitor_pid=$!
  exec 3>"$1/in"
}
stop_monitor() {  # Enter, then wait for the end
  echo >&3
  exec 3>&-
  wait "$monitor_pid"
}
log_of() { [ -f "$1/log/log.txt" ] && log_text "$1/log/log.txt"; }
count_lines() { log_of "$1" | grep -c "|$line\$"; }
has_start() { log_of "$1" | grep -q '|エラーカウント監視開始$'; }
epoch_of() { date -d "$(tr / - <<<"$1")" +%s; }

# server01 is a host name: PingAddress refuses it, so every cycle fails; the
# loopback entry behind it is switched off and so not pinged.
d=$work/name
prepare "$d" server01 127.0.0.1
start_monitor "$d"
wait_for "[ \"\$(count_lines '$d')\" -ge 3 ]" 30
stop_monitor
check "threshold line logged for an unanswerable server" [ "$(count_lines "$d")" -ge 3 ]
start=$(log_of "$d" | grep -m1 '|エラーカウント監視開始$' | cut -d'|' -f1)
mapfile -t crossings < <(log_of "$d" | grep "|$line\$" | cut -d'|' -f1)
if [ -n "$start" ] && [ "${#crossings[@]}" -ge 3 ]; then
  t0=$(epoch_of "$start")
  t1=$(epoch_of "${crossings[0]}")
  # Cycle 1 runs about 1 s after the start, cycle 2 about 2 s after it.
  check "first crossing not before the second cycle ($((t1 - t0)) s)" [ $((t1 - t0)) -ge 2 ]
  gaps_ok=1
  for ((i = 1; i < ${#crossings[@]}; i++)); do
    gap=$(($(epoch_of "${crossings[i]}") - $(epoch_of "${crossings[i - 1]}")))
    [ "$gap" -ge 2 ] || { gaps_ok=0; echo "gap of $gap s between crossings $i and $((i + 1))"; }
  done
  check "crossings come every second cycle" [ $gaps_ok -eq 1 ]
else
  fail "start line and three crossings in the log"
fi

# The loopback address answers in every cycle.
d=$work/loopback
prepare "$d" 127.0.0.1
start_monitor "$d"
wait_for "has_start '$d'" 30
sleep 5
stop_monitor
check "monitor ran on loopback" has_start "$d"
check "no threshold line for loopback" [ "$(count_lines "$d")" -eq 0 ]
finish
