# Shared by the end-to-end scripts. Environment from CTest: QV_ROOT (sources),
# QV_BIN (built programs), QV_PLATFORM (posix or win32), QV_BUILD (build tree).
set -uo pipefail
QV_ROOT=${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
QV_PLATFORM=${QV_PLATFORM:-posix}
if [ "$QV_PLATFORM" = win32 ]; then QV_BIN=${QV_BIN:-$QV_ROOT/build/win64/bin}; else QV_BIN=${QV_BIN:-$QV_ROOT/build/native/bin}; fi
QV_BUILD=${QV_BUILD:-$(dirname "$QV_BIN")}
if [ "$QV_PLATFORM" = win32 ]; then
  source "$QV_ROOT/scripts/wine-env.sh"
  QV_EXE=.exe
else
  QV_EXE=
fi

e2e_failures=0
fail() { echo "FAIL: $*"; e2e_failures=$((e2e_failures + 1)); }
pass() { echo "ok: $*"; }
check() {  # description, command...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
finish() {
  if [ "$e2e_failures" -gt 0 ]; then echo "$e2e_failures check(s) failed"; exit 1; fi
  echo "all checks passed"; exit 0
}
skip() { echo "SKIP: $*"; exit 77; }

# Work directories of this script live below one parent that is removed at
# exit (e2e_tmpdir runs in a $(...) subshell, which cannot set the trap).
QV_E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
trap 'rm -rf "$QV_E2E_TMP"' EXIT
e2e_tmpdir() { mktemp -d "$QV_E2E_TMP/w.XXXXXX"; }
# The on-screen alerts of the Monitors a test starts reach no real user's
# terminal on this machine (Linux); tests of the terminals give their own.
if [ -z "${QV_UTMP_FILE:-}" ]; then
  export QV_UTMP_FILE=$QV_E2E_TMP/utmp
  : >"$QV_UTMP_FILE"
fi

# Runs a program of this platform: natively, or under Wine for win32.
run_program() {
  if [ "$QV_PLATFORM" = win32 ]; then qv_wine "$@"; else "$@"; fi
}

# A path as the program sees it (Wine maps / to Z:).
program_path() {
  if [ "$QV_PLATFORM" = win32 ]; then echo "Z:${1//\//\\}"; else echo "$1"; fi
}

# The log as UTF-8 text with CR removed (it is written in CP932 with CRLF).
log_text() { iconv -f CP932 -t UTF-8 "$1" | tr -d '\r'; }

# Waits up to $2 seconds (default 10) until command $1 succeeds.
wait_for() {
  local cmd=$1 limit=${2:-10} i=0
  while [ $i -lt $((limit * 10)) ]; do
    eval "$cmd" && return 0
    sleep 0.1; i=$((i + 1))
  done
  return 1
}
