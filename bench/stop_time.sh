#!/usr/bin/env bash
# How long an idle Monitor (both checks off) takes to stop: natively from
# Enter and from SIGTERM in a console run and from SIGTERM in a service run
# (NOTIFY_SOCKET), until the process has ended; under Wine from the STOP
# control (what `sc stop` sends) until the service reports STOPPED. Every
# stop comes at a random point of the worker's one-second tick. Prints the
# median, the smallest and the largest of the runs, in milliseconds.
# Usage: bench/stop_time.sh [runs] [native|wine|all]   (default: 21 all)
# Build first (scripts/build.sh); do not run it beside the Wine tests, which
# use the same service name.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-21}
which=${2:-all}
work=$(mktemp -d "${TMPDIR:-/tmp}/qv-stop.XXXXXX")
cleanup() { rm -rf "$work"; }
trap cleanup EXIT

prepare() {  # directory, program
  mkdir -p "$1"
  cp "$2" "$1/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=0\r\nDeviceManager=0\r\n' >"$1/config.ini"
}

native() {
  local bin=$root/build/native/bin/Monitor
  [ -x "$bin" ] || { echo "build first: QV_NATIVE_ONLY=1 scripts/build.sh" >&2; exit 1; }
  prepare "$work/native" "$bin"
  /usr/bin/python3 - "$work/native" "$runs" <<'PY'
import os, random, signal, socket, statistics, subprocess, sys, time
d, runs = sys.argv[1], int(sys.argv[2])
program = os.path.join(d, "Monitor")
log = os.path.join(d, "log", "log.txt")

def started():
    # The worker starts right after its start line is queued; the writer
    # shows it within 500 ms.
    deadline = time.time() + 10
    while time.time() < deadline:
        try:
            if "エラーカウント監視開始".encode("cp932") in open(log, "rb").read():
                return
        except FileNotFoundError:
            pass
        time.sleep(0.01)
    raise SystemExit("the Monitor did not start")

def console(stop):
    if os.path.exists(log): os.remove(log)
    p = subprocess.Popen([program, "run"], cwd=d, stdin=subprocess.PIPE)
    started()
    time.sleep(random.random())
    t0 = time.perf_counter()
    stop(p)
    p.wait()
    return (time.perf_counter() - t0) * 1000

def enter(p):
    p.stdin.write(b"\n"); p.stdin.flush()

def service():
    if os.path.exists(log): os.remove(log)
    path = os.path.join(d, "notify.sock")
    if os.path.exists(path): os.remove(path)
    s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    s.bind(path)
    s.settimeout(10)
    p = subprocess.Popen([program], cwd=d, stdin=subprocess.DEVNULL, env=dict(os.environ, NOTIFY_SOCKET=path))
    while b"READY=1" not in s.recv(4096):
        pass
    started()
    time.sleep(random.random())
    t0 = time.perf_counter()
    p.send_signal(signal.SIGTERM)
    p.wait()
    ms = (time.perf_counter() - t0) * 1000
    s.close()
    return ms

def report(name, samples):
    print("native %-24s median %6.1f ms  min %6.1f  max %6.1f  (%d stops)" %
          (name, statistics.median(samples), min(samples), max(samples), len(samples)))

report("console, Enter", [console(enter) for _ in range(runs)])
report("console, SIGTERM", [console(lambda p: p.send_signal(signal.SIGTERM)) for _ in range(runs)])
report("service, SIGTERM", [service() for _ in range(runs)])
PY
}

wine_service() {
  local bin=$root/build/win64/bin name=quorvanexdevicechecker samples=() i out
  [ -x "$bin/Monitor.exe" ] && [ -x "$bin/qv_svcwatch.exe" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
  source "$root/scripts/wine-env.sh"
  qv_wine_prefix
  # A persistent wineserver, unless one runs already (then it is left running).
  local own_server=
  qv_wineserver -p 2>/dev/null && own_server=1
  trap 'qv_wine sc delete '$name' >/dev/null 2>&1; [ -z "'$own_server'" ] || qv_wineserver -k; cleanup' EXIT
  prepare "$work/wine" "$bin/Monitor.exe"
  qv_wine sc delete $name >/dev/null 2>&1 || true
  qv_wine sc create $name binPath= "Z:${work//\//\\}\\wine\\Monitor.exe" >/dev/null
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/wine/log"
    qv_wine sc start $name >/dev/null
    until [ -f "$work/wine/log/log.txt" ] &&
      iconv -f CP932 -t UTF-8 "$work/wine/log/log.txt" | grep -q 'エラーカウント監視開始'; do sleep 0.01; done
    sleep "0.$(printf '%03d' $((RANDOM % 1000)))"
    out=$(qv_wine "$bin/qv_svcwatch.exe" $name 60 | tr -d '\r' | sed -n 's/^stopped //p')
    [ -n "$out" ] || { echo "the service did not stop" >&2; exit 1; }
    samples+=("$out")
  done
  printf '%s\n' "${samples[@]}" | sort -n | awk '{v[NR] = $1} END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "wine   %-24s median %6.1f ms  min %6.1f  max %6.1f  (%d stops)\n", "service, STOP to STOPPED", m, v[1], v[NR], NR }'
}

case $which in
  native) native ;;
  wine) wine_service ;;
  all) native; wine_service ;;
  *) echo "usage: $0 [runs] [native|wine|all]" >&2; exit 2 ;;
esac
