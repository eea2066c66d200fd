#!/usr/bin/env bash
# Hardening suite: the unit tests under AddressSanitizer + UndefinedBehavior-
# Sanitizer (build/asan) and under ThreadSanitizer (build/tsan), then each
# libFuzzer target for a bounded time (build/fuzz). Built with clang.
# Ends with "hardening: N passed, M failed" (one count per step) and a
# non-zero exit code when any step failed.
#
#   QV_FUZZ_SECONDS  run time of each fuzzer (default 60)
#   QV_FUZZ_RUNS     executions each fuzzer reaches at least, with more time if need be (default 1000000)
#   QV_HARDENING     steps to run, any of "asan tsan fuzz" (default all)
#   QV_JOBS          build and test parallelism (default: number of cores)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${QV_JOBS:-$(nproc)}
fuzz_seconds=${QV_FUZZ_SECONDS:-60}
fuzz_runs=${QV_FUZZ_RUNS:-1000000}
steps=${QV_HARDENING:-asan tsan fuzz}

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
need=()
for p in clang libclang-rt-14-dev libfuzzer-14-dev; do have_pkg "$p" || need+=("$p"); done
if [ ${#need[@]} -gt 0 ]; then
  echo "hardening: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
export CC=clang CXX=clang++

passed=0; failed=0
result() {  # step name, exit code
  if [ "$2" -eq 0 ]; then echo "hardening: $1 ok"; passed=$((passed + 1));
  else echo "hardening: $1 FAILED"; failed=$((failed + 1)); fi
}

# Report every fault, stop at the first one, and fail the test that hit it.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

# The unit tests only: the end-to-end scripts run the normal build.
sanitized_tests() {  # kind (address|thread), build dir
  local kind=$1 dir=$2 log="$root/$2.log"
  {
    cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE="$kind" \
      -DQV_BUILD_BENCH=OFF >/dev/null &&
    cmake --build "$root/$dir" -j "$jobs" &&
    # TSan needs the fixed address layout that clang 14 expects.
    setarch "$(uname -m)" -R ctest --test-dir "$root/$dir" -E '^e2e\.' -j "$jobs" --output-on-failure
  } > "$log" 2>&1
  local rc=$?
  grep -E 'tests passed|tests failed out of' "$log" | tail -1
  [ $rc -eq 0 ] || tail -40 "$log"
  return $rc
}

# One run of a fuzzer with the given limits; adds its executions to $runs.
fuzz_run() {  # target, libFuzzer limits...
  local target=$1 dir=build/fuzz rc n
  shift
  "$root/$dir/bin/${target}_fuzz" "$@" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$root/$dir/artifacts/$target-" \
    "$root/$dir/corpus/$target" "$root/fuzz/corpus/$target" >> "$root/$dir/$target.log" 2>&1
  rc=$?
  n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$root/$dir/$target.log" | tail -1)
  runs=$((runs + ${n:-0}))
  return $rc
}

fuzz() {
  local dir=build/fuzz flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
  cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_FUZZ=ON \
    -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$flags" > "$root/$dir.log" 2>&1 &&
  cmake --build "$root/$dir" -j "$jobs" --target ini_fuzz wql_fuzz cmdline_fuzz metrics_text_fuzz mail_settings_fuzz mail_address_fuzz >> "$root/$dir.log" 2>&1
  local rc=$?
  if [ $rc -ne 0 ]; then tail -40 "$root/$dir.log"; result fuzz-build $rc; return; fi
  local target
  for target in ini wql cmdline metrics_text mail_settings mail_address; do
    # New inputs go to a scratch corpus; the committed seeds stay as they are.
    local work="$root/$dir/corpus/$target" out="$root/$dir/$target.log"
    mkdir -p "$work" "$root/$dir/artifacts"
    : > "$out"
    runs=0
    fuzz_run "$target" -max_total_time="$fuzz_seconds"
    rc=$?
    # A busy machine runs fewer inputs in the set time: it gets more, up to
    # ten times as much, until the target has run enough.
    if [ $rc -eq 0 ] && [ "$runs" -lt "$fuzz_runs" ]; then
      fuzz_run "$target" -runs=$((fuzz_runs - runs)) -max_total_time=$((fuzz_seconds * 10))
      rc=$?
    fi
    echo "fuzz $target: $runs executions (at least $fuzz_runs, ${fuzz_seconds} s or more), corpus $(ls "$work" | wc -l) inputs"
    [ $rc -ne 0 ] || [ "$runs" -ge "$fuzz_runs" ] || { echo "fuzz $target: too few executions"; rc=1; }
    [ $rc -eq 0 ] || { grep -E 'ERROR|SUMMARY|Test unit written' "$out" | head -10; tail -20 "$out"; }
    result "fuzz-$target" $rc
  done
}

for step in $steps; do
  case $step in
    asan) sanitized_tests address build/asan; result asan+ubsan $? ;;
    tsan) sanitized_tests thread build/tsan; result tsan $? ;;
    fuzz) fuzz ;;
    *) echo "hardening: unknown step $step"; failed=$((failed + 1)) ;;
  esac
done
echo "hardening: $passed passed, $failed failed"
[ $failed -eq 0 ]
