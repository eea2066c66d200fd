#!/usr/bin/env bash
# Sets up, builds both platforms and runs every test: native unit and
# end-to-end tests, then the Windows ones under Wine (with a persistent
# wineserver and a virtual X display for the GUI programs).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh" || exit 1
"$root/scripts/build.sh" > "$root/build-log.txt" 2>&1 || { tail -50 "$root/build-log.txt"; echo "build failed"; exit 1; }

source "$root/scripts/wine-env.sh"
export DISPLAY=${QV_DISPLAY:-:97}
xvfb_pid=
if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  # The GUI tests skip without a display: let them start only once it answers.
  for _ in $(seq 100); do
    xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break
    sleep 0.1
  done
  xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 || echo "test-all: Xvfb on $DISPLAY does not answer"
fi
cleanup() {
  qv_wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT
qv_wine_prefix
# Wine's own background processes, its desktop among them, start now with
# nothing attached to their output: started by a test, they would hold
# CTest's pipes open. The desktop lives on this display for the whole run.
qv_persistent_wineserver || { echo "test-all: no persistent wineserver and desktop for $WINEPREFIX"; exit 1; }

# Counts from CTest's JUnit report: "<name>: P passed, F failed, S skipped",
# then the tests that did not pass.
summary() {  # name, JUnit file
  local counts
  counts=$(/usr/bin/python3 - "$2" <<'PY'
import sys, xml.etree.ElementTree as ET
try:
    cases = ET.parse(sys.argv[1]).getroot().iter("testcase")
except (OSError, ET.ParseError):
    print("1 1 0"); print("  (no JUnit report: %s)" % sys.argv[1]); sys.exit()
failed, skipped, total = [], 0, 0
for case in cases:
    total += 1
    status = case.get("status")
    if case.find("skipped") is not None or status in ("notrun", "disabled"):
        skipped += 1
    elif status != "run" or case.find("failure") is not None:
        failed.append(case.get("name"))
print(total, len(failed), skipped)
for name in failed:
    print("  failed: " + name)
PY
)
  local total failed skipped
  read -r total failed skipped <<<"$(head -1 <<<"$counts")"
  echo "$1: $((total - failed - skipped)) passed, $failed failed, $skipped skipped"
  tail -n +2 <<<"$counts"
  all_total=$((all_total + total)); all_failed=$((all_failed + failed))
  all_skipped=$((all_skipped + skipped))
}
all_total=0; all_failed=0; all_skipped=0
rc=0
rm -f "$root/build/native-tests.xml" "$root/build/win64-tests.xml"
ctest --test-dir build/native -j "${QV_JOBS:-2}" --output-on-failure \
  --output-junit "$root/build/native-tests.xml" > build/native-tests.txt 2>&1 || rc=1
summary native "$root/build/native-tests.xml"
ctest --test-dir build/win64 -j "${QV_JOBS:-2}" --output-on-failure \
  --output-junit "$root/build/win64-tests.xml" > build/win64-tests.txt 2>&1 || rc=1
summary win64 "$root/build/win64-tests.xml"
# Sanitizer builds and bounded fuzzing; each of their steps counts as one test.
if [ "${QV_SKIP_HARDENING:-0}" != 1 ]; then
  "$root/scripts/hardening.sh" > build/hardening.txt 2>&1 || rc=1
  grep -E '^(hardening: [a-z]|fuzz )' build/hardening.txt | grep -v ' passed, '
  line=$(grep -E '^hardening: [0-9]+ passed, [0-9]+ failed' build/hardening.txt | tail -1)
  if [ -n "$line" ]; then
    h_passed=$(sed -E 's/^hardening: ([0-9]+) passed.*/\1/' <<<"$line")
    h_failed=$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<<"$line")
  else
    tail -20 build/hardening.txt; h_passed=0; h_failed=1
  fi
  echo "hardening: $h_passed passed, $h_failed failed (build/hardening.txt)"
  all_total=$((all_total + h_passed + h_failed)); all_failed=$((all_failed + h_failed))
fi
echo "$((all_total - all_failed - all_skipped)) passed, $all_failed failed, $all_skipped skipped"
[ $all_failed -eq 0 ] && [ $rc -eq 0 ] && [ $all_total -gt 0 ]
