#!/usr/bin/env bash
# Footprint of an idle native Monitor (both checks off, a cycle every second):
# resident memory and CPU over a period, then the time from Enter to exit.
# Usage: bench/idle_monitor.sh [seconds]   (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
bin="$root/build/native/bin/Monitor"
[ -x "$bin" ] || { echo "build first: QV_NATIVE_ONLY=1 scripts/build.sh" >&2; exit 1; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/qv-idle.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cp "$bin" "$dir/"
printf '[Config]\r\nInterval=0\r\n[Threshold]\r\nPing=0\r\nDeviceManager=0\r\n' >"$dir/config.ini"
mkfifo "$dir/stdin"

"$dir/Monitor" console <"$dir/stdin" &
pid=$!
exec 3>"$dir/stdin"  # keeps standard input open until we press "Enter"
sleep 1
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
cpu0=$(cpu); t0=$(date +%s%N)
sleep "$seconds"
cpu1=$(cpu); t1=$(date +%s%N)
rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status")
wall_ms=$(((t1 - t0) / 1000000))
cpu_ms=$(((cpu1 - cpu0) * 1000 / ticks))

stop0=$(date +%s%N)
echo >&3
exec 3>&-
wait "$pid"
stop_ms=$((($(date +%s%N) - stop0) / 1000000))

awk -v r="$rss" -v h="$hwm" -v c="$cpu_ms" -v w="$wall_ms" -v s="$stop_ms" 'BEGIN {
  printf "idle Monitor over %.1f s: RSS %d KiB (peak %d KiB), CPU %d ms = %.3f %% of one core; stop after Enter: %d ms\n",
         w / 1000, r, h, c, 100 * c / w, s }'
