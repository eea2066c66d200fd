#!/usr/bin/env bash
# quorvanexctl status and restart with the real service: under Wine installed
# with sc; on Linux a unit run by Debian's systemd, booted in a container on a
# throwaway overlay of this machine's root (and without systemd, restart says
# so). The Monitor's log shows the restart's stop and new start.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/ctl_lib.sh"
source "$(dirname "$0")/container_lib.sh"
self=$(realpath "$0")
service=quorvanexdevicechecker

# A folder whose Monitor writes metrics, with the mail program's record of
# a failure and then a mail sent.
service_folder() {
  ctl_folder "$1"
  mkdir -p "$1/metrics" "$1/log"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=0\r\nDeviceManager=1\r\n[Metrics]\r\nTextfileDir=metrics\r\n' \
    >"$1/config.ini"
  printf '%s\n' '2026/12/01 09:00:00|failed|4|ops@example.test|authentication refused|535 5.7.8 bad credentials' \
    '2026/12/01 09:05:00|sent|0|ops@example.test||' >"$1/log/mail.log"
  log=$1/log/log.txt
}
count_in_log() { if [ -f "$log" ]; then log_text "$log" | grep -c "|$1\$"; else echo 0; fi; }
# status run in folder $1 itself, as "--dir .".
status_in() {
  (cd "$1" && run_program "$ctl_bin" --dir . status) >"$QV_E2E_TMP/status.out" 2>&1 3>&-
  ctl_rc=$?
  ctl_out=$(ctl_text "$QV_E2E_TMP/status.out")
}
# No service: status finds a Monitor run by hand in the folder by the
# folder's lock, and names the folder in full.
console_status() {
  local d=$1 full monitor started
  full=$(program_path "$d")
  status_in "$d"
  check "status, no Monitor: exit 3, the folder in full ($ctl_rc)" \
    eval '[ "$ctl_rc" = 3 ] && grep -qxF "no Monitor of $full runs" <<<"$ctl_out"'
  mkfifo "$d/stdin"
  (cd "$d" && run_program "$d/Monitor$QV_EXE" console) <"$d/stdin" >/dev/null 2>&1 &
  monitor=$!
  exec 3>"$d/stdin"
  wait_for "[ \$(count_in_log 開始) = 1 ]" 30 || fail "the console Monitor started"
  started=$(log_text "$log" | grep '|開始$' | cut -d'|' -f1)
  status_in "$d"
  echo "$ctl_out"
  check "status, a Monitor run by hand: exit 0, since its start line ($ctl_rc)" \
    eval '[ "$ctl_rc" = 0 ] && grep -qxF "a Monitor of $full runs since $started (its start line in the log)" <<<"$ctl_out"'
  exec 3>&-
  wait "$monitor"
  # What the service's checks then read is the service's own.
  rm -f "$d/stdin" "$log" "$d/metrics"/*
}
# $1: the state words of the platform's service manager for a running service.
status_and_restart() {
  local d=$1 running=$2 stopped=$3
  ctl_in "$d" status
  check "status, stopped: exit 3 ($ctl_rc)" [ "$ctl_rc" = 3 ]
  check "status, stopped: says so" grep -qE "^service $service: ($stopped)" <<<"$ctl_out"
  check "status, stopped: nor a Monitor run by hand" grep -q "^no Monitor of .* runs$" <<<"$ctl_out"
  start_service
  check "service started" wait_for "grep -q '^quorvanex_cycles_total [1-9]' '$d/metrics/quorvanex.prom'" 30
  ctl_in "$d" status
  echo "$ctl_out"
  check "status, running: exit 0 ($ctl_rc)" [ "$ctl_rc" = 0 ]
  check "status, running: since when" grep -qE "^service $service: $running since [0-9/]{10} [0-9:]{8}$" <<<"$ctl_out"
  check "status: the metrics' device check" grep -qE '^  device check: failing, .* \(threshold 1\)' <<<"$ctl_out"
  check "status: the last mail failure and its reason" grep -qF 'last mail failure: 2026/12/01 09:00:00, exit code 4, to ops@example.test: authentication refused (server: 535 5.7.8 bad credentials)' <<<"$ctl_out"
  check "status: the last log lines" grep -q '^  .*|-|サービス開始$' <<<"$ctl_out"
  ctl_in "$d" restart
  echo "$ctl_out"
  check "restart: exit 0, runs again ($ctl_rc)" eval '[ "$ctl_rc" = 0 ] && grep -q "stopped and runs again" <<<"$ctl_out"'
  check "restart: the log shows the stop and the new start" \
    wait_for "[ \$(count_in_log サービス停止) = 1 ] && [ \$(count_in_log サービス開始) = 2 ]" 10
}

case "${QV_CTL_STAGE:-host}" in
inside)  # in the container, with systemd running
  service_folder /opt/qvctl
  printf '[Service]\nType=notify\nExecStart=/opt/qvctl/Monitor\n' >/etc/systemd/system/$service.service
  systemctl daemon-reload
  start_service() { systemctl start $service; }
  status_and_restart /opt/qvctl 'active \(running\)' 'inactive \(dead\)'
  finish
  ;;
container)
  run_in_booted_container "$QV_CTL_SHARE" timeout 200 env QV_BIN=/qvtest QV_CTL_STAGE=inside bash "$self"
  finish
  ;;
esac

d=$(e2e_tmpdir)
service_folder "$d"
if [ "$QV_PLATFORM" = win32 ]; then
  sc_state() { qv_wine sc query $service 2>/dev/null | tr -d '\r' | sed -nE 's/.*STATE +: +[0-9]+ +([A-Z_]+).*/\1/p'; }
  start_service() { qv_wine sc start $service >/dev/null; }
  remove_service() {
    qv_wine sc stop $service >/dev/null 2>&1
    wait_for '[ "$(sc_state)" != RUNNING ] && [ "$(sc_state)" != STOP_PENDING ]' 20
    qv_wine sc delete $service >/dev/null 2>&1
  }
  trap 'remove_service; rm -rf "$QV_E2E_TMP"' EXIT
  remove_service
  ctl_in "$d" status
  check "status, not installed: exit 3, says so ($ctl_rc)" \
    eval '[ "$ctl_rc" = 3 ] && grep -q "^service $service: not installed" <<<"$ctl_out"'
  console_status "$d"
  qv_wine sc create $service binPath= "$(program_path "$d/Monitor.exe")" >/dev/null
  status_and_restart "$d" running stopped
  finish
fi

if [ ! -d /run/systemd/system ]; then
  console_status "$d"
  ctl_in "$d" restart
  check "restart without systemd: exit 1, says so ($ctl_rc)" \
    eval '[ "$ctl_rc" = 1 ] && grep -q "systemd does not run here" <<<"$ctl_err"'
fi
chmod 755 "$QV_E2E_TMP" "$d"
setpriv --reuid=65534 --regid=65534 --clear-groups "$ctl_bin" --dir "$d" restart >/dev/null 2>&1
rc=$?
check "restart as another account: exit 4 ($rc)" [ $rc = 4 ]
[ "$(id -u)" = 0 ] && command -v systemd-nspawn >/dev/null && grep -qw overlay /proc/filesystems ||
  { echo "SKIP: no container with systemd here (root, systemd-container, overlay)"; finish; }
mkdir -p "$QV_E2E_TMP/share"
cp "$QV_BIN/Monitor" "$ctl_bin" "$QV_E2E_TMP/share/"
QV_CTL_SHARE=$QV_E2E_TMP/share QV_CTL_STAGE=container unshare --mount --propagation private bash "$self" ||
  fail "(the checks under systemd)"
finish
