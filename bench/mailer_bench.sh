#!/usr/bin/env bash
# Time of one mail as the Monitor pays for it: a whole run of Ostrival.exe
# (start, settings, connect, STARTTLS, AUTH, delivery, exit) against the test
# mail server on 127.0.0.1. Prints min / median / p90 / max over N runs.
#   bench/mailer_bench.sh [N]          native build (default N = 50)
#   QV_PLATFORM=win32 bench/mailer_bench.sh [N]   the Windows build under Wine
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-50}
export QV_ROOT=$root QV_PLATFORM=${QV_PLATFORM:-posix}
source "$root/tests/e2e/lib.sh"
export QV_BIN
source "$root/tests/e2e/mail_lib.sh"
mailer=$QV_BIN/Ostrival.exe
[ -f "$mailer" ] || { echo "mailer_bench: no $mailer (run ./scripts/build.sh)" >&2; exit 1; }

work=$(e2e_tmpdir)
start_mail_server "$work/server"
write_ini "$work/mail.ini" cp932 <<EOF
[Config]
SmtpServer=localhost
SmtpPort=$PORT_STARTTLS
Security=starttls
User=$MAIL_USER
Password=$MAIL_PASSWORD
From=monitor@example.test
To=ops@example.test
Subject=ベンチマーク <name>
Body=ping エラー: 全サーバー応答なし
CaFile=$(program_path "$work/server/ca.pem")
EOF
if [ "$QV_PLATFORM" = win32 ]; then
  qv_wine_prefix
  # As in the test runs: a wineserver that outlives each program (here by 5 s).
  qv_wineserver -p5
  # Wine's background processes start now, holding none of our output open.
  qv_wine cmd /c exit >/dev/null 2>&1 </dev/null
  command=(env LC_ALL=ja_JP.UTF-8 wine "$mailer" "$(program_path "$work/mail.ini")")
else
  command=("$mailer" "$work/mail.ini")
fi

"$QV_PYTHON" - "$runs" "${command[@]}" <<'EOF'
import statistics, subprocess, sys, time
runs, command = int(sys.argv[1]), sys.argv[2:]
subprocess.run(command, check=True)  # warm-up: caches, first Wine start
times = []
for _ in range(runs):
    start = time.perf_counter()
    subprocess.run(command, check=True)
    times.append((time.perf_counter() - start) * 1000)
times.sort()
print("mailer_bench: one mail, STARTTLS + AUTH, %d runs: min %.1f ms, median %.1f ms, p90 %.1f ms, max %.1f ms"
      % (runs, times[0], statistics.median(times), times[int(0.9 * (runs - 1))], times[-1]))
EOF
rc=$?
delivered=$(mail_count "$work/server")
stop_mail_server
echo "mailer_bench: $delivered messages delivered"
exit $rc
