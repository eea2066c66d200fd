#!/usr/bin/env bash
# Time of `quorvanexctl check` on a set with 1,000 device servers: whole runs
# (start, the four INI files read by the Monitor's code, every finding, the
# report of 1,000 servers). Prints the median; with hyperfine (Debian's) also
# the mean, the spread and the CPU time, which a busy machine does not
# inflate; without hyperfine a loop of our own.
#   bench/ctl_check.sh [RUNS]                      native build (default 30 runs)
#   QV_PLATFORM=win32 bench/ctl_check.sh [RUNS]    the Windows build under Wine
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-30}
servers=1000
export QV_ROOT=$root QV_PLATFORM=${QV_PLATFORM:-posix}
source "$root/tests/e2e/lib.sh"
export QV_BIN
ctl=$QV_BIN/quorvanexctl$QV_EXE
[ -f "$ctl" ] || { echo "ctl_check: no $ctl (run ./scripts/build.sh)" >&2; exit 1; }

set_dir=$(e2e_tmpdir)
{
  printf '[Config]\r\nInterval=5\r\nLogDir=log\r\n[Threshold]\r\nPing=5\r\nDeviceManager=5\r\n'
} >"$set_dir/config.ini"
{
  printf '[Config]\r\nHardware=USB\\VID_1234&PID_5678\r\nCount=%d\r\n' $servers
  for ((n = 1; n <= servers; n++)); do
    printf '[Quorvanex_%d]\r\nEnabled=%d\r\nServer=10.%d.%d.%d\r\nUsername=admin\r\nPassword=secret\r\n' \
      $n $((n % 7 != 0)) $((n / 65536)) $((n / 256 % 256)) $((n % 256))
    printf 'Port=4003\r\nDisplay=device server %d\r\nHardware=USB\\VID_1234&PID_5678\r\nProductID=5678\r\nVendorID=1234\r\n' $n
  done
} >"$set_dir/quorvanex.ini"
printf '[Config]\r\nMailSend=1\r\nSmtpServer=mail.example.invalid\r\nSecurity=starttls\r\nUser=u\r\nPassword=p\r\nFrom=a@example.invalid\r\nTo=b@example.invalid\r\n' \
  >"$set_dir/mail.ini"
printf '[Config]\r\nPomvex=1\r\nBody_ping=ping error\r\n' >"$set_dir/message.ini"
: >"$set_dir/Ostrival.exe"

if [ "$QV_PLATFORM" = win32 ]; then
  qv_wine_prefix
  # As in the test runs: a wineserver that outlives each program (here by 5 s).
  qv_wineserver -p5
  qv_wine cmd /c exit >/dev/null 2>&1 </dev/null
  # Forward slashes: hyperfine splits the command line as a shell would.
  command=(env LC_ALL=ja_JP.UTF-8 wine "$ctl" --dir "Z:$set_dir" check)
else
  command=("$ctl" --dir "$set_dir" check)
fi

# The set is clean: exit 0 and every server listed.
out=$("${command[@]}" 2>&1); rc=$?
listed=$(grep -c '^    \[Quorvanex_' <<<"$out")
if [ $rc != 0 ] || [ "$listed" != $servers ]; then
  echo "ctl_check: check gave exit $rc and $listed servers; expected 0 and $servers" >&2
  tail -5 <<<"$out" >&2
  exit 1
fi

if command -v hyperfine >/dev/null; then
  hyperfine --shell=none --warmup 3 --runs "$runs" --export-json "$set_dir/times.json" \
    "${command[*]}" >/dev/null
  /usr/bin/python3 - "$set_dir/times.json" "$servers" "$QV_PLATFORM" <<'EOF'
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
ms = lambda s: s * 1000
print("ctl_check: check on %s servers (%s), %d runs (hyperfine): median %.1f ms, mean %.1f ms +- %.1f, min %.1f, "
      "max %.1f; CPU (user + system) %.1f ms a run"
      % (sys.argv[2], sys.argv[3], len(r["times"]), ms(r["median"]), ms(r["mean"]), ms(r["stddev"] or 0),
         ms(r["min"]), ms(r["max"]), ms(r["user"] + r["system"])))
EOF
else
  /usr/bin/python3 - "$runs" "$servers" "$QV_PLATFORM" "${command[@]}" <<'EOF'
import statistics, subprocess, sys, time
runs, servers, platform, command = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
for _ in range(3):  # warm-up: caches, first Wine start
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
times = []
for _ in range(runs):
    start = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    times.append((time.perf_counter() - start) * 1000)
times.sort()
print("ctl_check: check on %s servers (%s), %d runs: median %.1f ms, min %.1f, max %.1f"
      % (servers, platform, runs, statistics.median(times), times[0], times[-1]))
EOF
fi
