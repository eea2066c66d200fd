#!/usr/bin/env bash
# Runs the native Monitor in console mode on the example configuration, in
# build/run/, and shows its log lines as they are written. Enter stops it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
run="$root/build/run"

if [ ! -x "$root/build/native/bin/Monitor" ]; then
  "$root/scripts/setup.sh"
  QV_NATIVE_ONLY=1 "$root/scripts/build.sh" >"$root/build-log.txt" 2>&1 ||
    { tail -30 "$root/build-log.txt"; echo "build failed (full output: build-log.txt)" >&2; exit 1; }
else
  cmake --build "$root/build/native" --target Monitor >/dev/null  # picks up source changes
fi

mkdir -p "$run"
cp "$root/build/native/bin/Monitor" "$run/"
cp "$root"/examples/*.ini "$run/"
logdir="$run/$(sed -nE 's/^LogDir=([^\r]*).*/\1/p' "$run/config.ini" | head -1)"
[ "$logdir" = "$run/" ] && logdir="$run/log"
log="$logdir/log.txt"

# The log is code page 932 with CR LF; the terminal wants UTF-8 lines.
decode() {
  while IFS= read -r line; do
    printf '%s\n' "${line%$'\r'}" | iconv -f CP932 -t UTF-8 2>/dev/null || printf '%s\n' "$line"
  done
}
tail -s 0.2 -n 0 -F "$log" 2>/dev/null > >(decode) &
tail_pid=$!
trap 'kill "$tail_pid" 2>/dev/null || true' EXIT

cat >&2 <<MSG
Monitor runs in $run with the example INI files.
A check cycle runs every second (Interval=0); the log ($log) gets a line at
start, at stop and at every threshold crossing. Press Enter to stop.
MSG
set +e
(cd "$run" && ./Monitor console)
rc=$?
sleep 0.5  # let the last lines through
exit $rc
