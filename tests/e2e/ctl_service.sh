#!/usr/bin/env bash
# quorvanexctl status and restart. Windows (Wine): the real Monitor service,
# installed with sc: status while it runs (with the metrics file and a mail
# failure in mail.log), restart (the log shows the stop and the new start),
# status once it is stopped and once it is gone. Linux without systemd: a
# Monitor of the folder is found by its folder lock; restart says that there
# is no systemd.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/ctl_lib.sh"
d=$(e2e_tmpdir)
ctl_folder "$d"
mkdir -p "$d/metrics" "$d/log"
printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=0\r\nDeviceManager=1\r\n[Metrics]\r\nTextfileDir=metrics\r\n' \
  >"$d/config.ini"
# The mail program's record of its runs: one failure, then a mail sent.
printf '%s\n' '2026/12/01 09:00:00|failed|4|ops@example.test|authentication refused|535 5.7.8 bad credentials' \
  '2026/12/01 09:05:00|sent|0|ops@example.test||' >"$d/log/mail.log"
log=$d/log/log.txt
count_in_log() { if [ -f "$log" ]; then log_text "$log" | grep -c "|$1\$"; else echo 0; fi; }

if [ "$QV_PLATFORM" = win32 ]; then
  service=quorvanexdevicechecker
  sc_state() { qv_wine sc query $service 2>/dev/null | tr -d '\r' | sed -nE 's/.*STATE +: +[0-9]+ +([A-Z_]+).*/\1/p'; }
  remove_service() {
    qv_wine sc stop $service >/dev/null 2>&1
    wait_for '[ "$(sc_state)" != RUNNING ] && [ "$(sc_state)" != STOP_PENDING ]' 20
    qv_wine sc delete $service >/dev/null 2>&1
  }
  trap 'remove_service; rm -rf "$QV_E2E_TMP"' EXIT
  remove_service
  ctl_in "$d" status
  check "status, not installed: exit 3 ($ctl_rc)" [ "$ctl_rc" = 3 ]
  check "status, not installed: says so" grep -q "^service $service: not installed" <<<"$ctl_out"

  qv_wine sc create $service binPath= "$(program_path "$d/Monitor.exe")" >/dev/null
  qv_wine sc start $service >/dev/null
  check "service started" wait_for "[ \$(count_in_log エラーカウント監視開始) = 1 ] && [ -s '$d/metrics/quorvanex.prom' ]" 30
  wait_for "grep -q '^quorvanex_cycles_total [1-9]' '$d/metrics/quorvanex.prom'" 10
  ctl_in "$d" status
  echo "$ctl_out"
  check "status, running: exit 0 ($ctl_rc)" [ "$ctl_rc" = 0 ]
  check "status, running: since when" \
    grep -qE "^service $service: running since [0-9]{4}/[0-9]{2}/[0-9]{2} [0-9:]{8}$" <<<"$ctl_out"
  check "status: the metrics' last cycle and device check" \
    grep -qE '^  device check: failing, [0-9?]+ failed in a row \(threshold 1\)' <<<"$ctl_out"
  check "status: the last mail failure and its reason" \
    grep -qF 'last mail failure: 2026/12/01 09:00:00, exit code 4, to ops@example.test: authentication refused (server: 535 5.7.8 bad credentials)' <<<"$ctl_out"
  check "status: the last log lines" grep -q '^  .*|-|サービス開始$' <<<"$ctl_out"

  ctl_in "$d" restart
  echo "$ctl_out"
  check "restart: exit 0 ($ctl_rc)" [ "$ctl_rc" = 0 ]
  check "restart: says it runs again" grep -q 'the service stopped and runs again' <<<"$ctl_out"
  check "restart: the log shows the stop, then the new start" \
    wait_for "[ \$(count_in_log サービス停止) = 1 ] && [ \$(count_in_log サービス開始) = 2 ]" 10
  check "restart: in that order" bash -c "grep -E '\\|(サービス停止|サービス開始)\$' <(iconv -f CP932 -t UTF-8 '$log' | tr -d '\\r') |
    sed 's/.*|//' | tr '\\n' ' ' | grep -qx 'サービス開始 サービス停止 サービス開始 '"

  qv_wine sc stop $service >/dev/null
  wait_for '[ "$(sc_state)" = STOPPED ]' 20
  ctl_in "$d" status
  check "status, stopped: exit 3 ($ctl_rc)" [ "$ctl_rc" = 3 ]
  check "status, stopped: says so" grep -q "^service $service: stopped$" <<<"$ctl_out"
  check "status, stopped: the metrics say the Monitor stopped" grep -q '^  Monitor stopped in order' <<<"$ctl_out"
  finish
fi

# Linux. A Monitor in console mode in the folder, and its folder lock.
[ -d /run/systemd/system ] && skip "systemd runs here: the status is the unit's"
ctl_in "$d" status
check "status, no Monitor: exit 3 ($ctl_rc)" [ "$ctl_rc" = 3 ]
check "status, no Monitor: says so" grep -qx "no Monitor of $d runs" <<<"$ctl_out"
mkfifo "$d/stdin"
(cd "$d" && exec ./Monitor console) <"$d/stdin" >/dev/null 2>&1 &
monitor=$!
exec 3>"$d/stdin"
# The lock the Monitor holds on its folder, held here as well (by one
# process, which the kill below ends).
bash -c 'exec 9<"$1" && flock -x 9 && exec sleep 60' _ "$d" 3>&- &
locker=$!
wait_for "[ \$(count_in_log 開始) = 1 ] && [ -s '$d/metrics/quorvanex.prom' ]" 20
ctl_in "$d" status
echo "$ctl_out"
check "status, Monitor running: exit 0 ($ctl_rc)" [ "$ctl_rc" = 0 ]
check "status, Monitor running: since its start line" \
  grep -qE "^a Monitor of $d runs since [0-9/]{10} [0-9:]{8} \(its start line in the log\)$" <<<"$ctl_out"
check "status: the metrics" grep -q '^  Monitor up, started ' <<<"$ctl_out"
check "status: the last mail failure and its reason" grep -qF 'authentication refused (server: 535 5.7.8' <<<"$ctl_out"
kill "$locker"; wait "$locker" 2>/dev/null
exec 3>&-
wait "$monitor"

ctl_in "$d" restart
check "restart without systemd: exit 1, says so ($ctl_rc)" [ "$ctl_rc" = 1 ]
check "restart without systemd: the reason" grep -q 'systemd does not run here' <<<"$ctl_err"
chmod 755 "$QV_E2E_TMP" "$d"
setpriv --reuid=65534 --regid=65534 --clear-groups "$ctl_bin" --dir "$d" restart >/dev/null 2>&1
rc=$?
check "restart as another account: exit 4 ($rc)" [ "$rc" = 4 ]
finish
