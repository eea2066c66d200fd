#!/usr/bin/env bash
# Footprint of the native Monitor: runs it idle and busy for a while each and
# prints its resident memory and CPU use, sampled once a second.
#   idle: Interval=60, both checks off (the worker and the log writer only wake).
#   busy: Interval=0, both checks failing every cycle (a ping address that
#         does not parse, so nothing is sent; no such device), an alert and a
#         mail through a fast fake mailer in every cycle.
#   bench/footprint.sh [MONITOR]   (default build/native/bin/Monitor)
#   QV_FOOTPRINT_SECONDS           sampling time per scenario (default 60)
#   QV_FOOTPRINT_METRICS=1         with the metrics file written after every cycle
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
monitor=${1:-$root/build/native/bin/Monitor}
seconds=${QV_FOOTPRINT_SECONDS:-60}
[ -x "$monitor" ] || { echo "footprint: no Monitor at $monitor (run ./scripts/build.sh)" >&2; exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qv-footprint.XXXXXX")
pid=
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT
tick=$(getconf CLK_TCK)

prepare() {  # directory, interval, ping threshold, device threshold
  mkdir -p "$1"
  cp "$monitor" "$1/Monitor"
  printf '[Config]\r\nInterval=%s\r\nLogDir=log\r\n[Threshold]\r\nPing=%s\r\nDeviceManager=%s\r\n' "$2" "$3" "$4" > "$1/config.ini"
  printf '[Config]\r\nHardware=NOSUCH\\DEVICE_0000\r\nCount=1\r\n[Quorvanex_1]\r\nEnabled=1\r\nServer=not-an-address\r\n' > "$1/quorvanex.ini"
  printf '[Config]\r\nMailSend=99\r\n' > "$1/mail.ini"
  printf '[Config]\r\nPomvex=0\r\n' > "$1/message.ini"
  printf '#!/bin/sh\nexit 1\n' > "$1/Ostrival.exe"
  chmod +x "$1/Ostrival.exe"
  if [ "${QV_FOOTPRINT_METRICS:-0}" = 1 ]; then
    mkdir "$1/metrics"
    printf '[Metrics]\r\nTextfileDir=metrics\r\n' >> "$1/config.ini"
  fi
}

# CPU time of a process's threads (ns, from the scheduler), and of its
# waited-for children (clock ticks).
cpu_ticks() {
  echo "$(cat /proc/$1/task/*/schedstat | awk '{ s += $1 } END { printf "%d", s }')" \
       "$(awk '{ sub(/^.*\) /, ""); print $14 + $15 }' "/proc/$1/stat")"
}
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }

measure() {  # name, directory
  local name=$1 dir=$2
  mkfifo "$dir/stdin"
  (cd "$dir" && exec ./Monitor console < stdin > /dev/null 2>&1) &
  pid=$!
  exec 3>"$dir/stdin"
  sleep 2   # past start-up
  local start_own start_children now_own now_children samples=() t0 t1 i
  read -r start_own start_children < <(cpu_ticks $pid)
  t0=$(date +%s.%N)
  for ((i = 0; i < seconds; i++)); do
    sleep 1
    samples+=("$(rss_kib $pid)")
  done
  read -r now_own now_children < <(cpu_ticks $pid)
  t1=$(date +%s.%N)
  local threads hwm lines
  threads=$(awk '/^Threads:/ { print $2 }' "/proc/$pid/status")
  hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
  echo >&3; exec 3>&-
  wait $pid || true; pid=
  lines=$(cat "$dir"/log/*log.txt 2>/dev/null | tr -d '\r' | grep -c . || true)
  printf '%s\n' "${samples[@]}" | awk -v name="$name" -v own=$((now_own - start_own)) \
      -v children=$((now_children - start_children)) -v tick="$tick" -v t0="$t0" -v t1="$t1" \
      -v threads="$threads" -v hwm="$hwm" -v lines="$lines" '
    { sum += $1; if (min == "" || $1 < min) min = $1; if ($1 > max) max = $1; n++ }
    END {
      wall = t1 - t0
      printf "%-5s  RSS KiB min %6d avg %8.1f max %6d peak %6d | CPU %6.3f %% (mailer processes %6.3f %%) | %d threads | %d log lines in %.0f s\n",
        name, min, sum / n, max, hwm, 100 * own / 1e9 / wall, 100 * children / tick / wall, threads, lines, wall
    }'
}

prepare "$tmp/idle" 60 0 0
prepare "$tmp/busy" 0 1 1
echo "Monitor: $monitor; ${seconds} s per scenario, one sample a second; $(nproc) cores;" \
  "metrics file ${QV_FOOTPRINT_METRICS:-0}"
measure idle "$tmp/idle"
measure busy "$tmp/busy"
