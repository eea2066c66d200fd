#!/usr/bin/env bash
# The metrics file with the real collector and the real Prometheus: a console
# Monitor (natively, or Monitor.exe under Wine) whose device check fails and
# whose mailer fails writes quorvanex.prom into a directory that Debian's
# node_exporter reads with its textfile collector; Debian's Prometheus scrapes
# that exporter with the example configuration and alert rules of
# packaging/prometheus. Everything listens on 127.0.0.1, on ports picked now.
source "$(dirname "$0")/lib.sh"

exporter=$(command -v prometheus-node-exporter || command -v node_exporter)
prometheus=$(command -v prometheus)
[ -n "$exporter" ] && [ -n "$prometheus" ] && command -v promtool >/dev/null && command -v curl >/dev/null ||
  skip "prometheus, prometheus-node-exporter or curl missing (scripts/setup.sh installs them)"

work=$(e2e_tmpdir)
mon=$work/monitor
textfile=$work/textfile
mkdir -p "$mon" "$textfile"
prom=$textfile/quorvanex.prom
name=$(hostname | cut -d. -f1 | tr '[:lower:]' '[:upper:]' | cut -c1-15)

# --- the Monitor ---------------------------------------------------------------
# Device check on with a prefix no device has: it fails every cycle and crosses
# at the second. Ping: a server name that is no address (never answers), then
# 127.0.0.1 (answers), then a server switched off. The mailer always fails.
cp "$QV_BIN/Monitor$QV_EXE" "$mon/"
printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=1\r\n[Metrics]\r\nTextfileDir=%s\r\n' \
  "$(program_path "$textfile")" >"$mon/config.ini"
printf '[Config]\r\nHardware=USB\\VID_FFFF&PID_FFFF\r\nCount=3\r\n' >"$mon/quorvanex.ini"
printf '[Quorvanex_1]\r\nServer=srv "b"\\c\r\n[Quorvanex_2]\r\nServer=127.0.0.1\r\n' >>"$mon/quorvanex.ini"
printf '[Quorvanex_3]\r\nServer=127.0.0.3\r\nEnabled=0\r\n' >>"$mon/quorvanex.ini"
printf '[Config]\r\nMailSend=1\r\n[Test]\r\nExitCode=1\r\n' >"$mon/mail.ini"
printf '[Config]\r\nPomvex=0\r\n' >"$mon/message.ini"
if [ "$QV_PLATFORM" = win32 ]; then
  cp "$QV_BIN/fake_mailer.exe" "$mon/Ostrival.exe"
else
  printf '#!/bin/sh\nexit 1\n' >"$mon/Ostrival.exe"
  chmod +x "$mon/Ostrival.exe"
fi

# --- helpers ----------------------------------------------------------------------
free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# The value of one series (name and labels exactly as written) in text on stdin.
# (Through the environment: awk -v would take the backslashes as escapes.)
value_of() {
  S=$1 awk 'BEGIN { s = ENVIRON["S"] } index($0, s " ") == 1 { v = substr($0, length(s) + 2) }
            END { print (v == "" ? "absent" : v) }'
}
file_value() { value_of "$1" 2>/dev/null <"$prom"; }
# Names of the alerts firing in Prometheus, one "name check" a line.
firing() {
  curl -fsS "http://127.0.0.1:$prom_port/api/v1/alerts" 2>/dev/null | /usr/bin/python3 -c '
import json, sys
for a in json.load(sys.stdin)["data"]["alerts"]:
    if a["state"] == "firing":
        print(a["labels"]["alertname"], a["labels"].get("check", "-"))' 2>/dev/null
}
not_firing() { ! firing | grep -qE "$1"; }
pids=()
# Starts a server whose arguments say PORT for a free port of 127.0.0.1 and
# waits until it answers on a path; sets the variable named first to the
# port. Another program may take the port between the pick and the bind: then
# the server ends, and another port is picked.
listen() {  # variable, path, command...
  local var=$1 path=$2 port pid attempt
  shift 2
  for attempt in 1 2 3 4 5; do
    port=$(free_port)
    "${@//PORT/$port}" >>"$work/$var.log" 2>&1 &
    pid=$!
    wait_for "curl -fsS http://127.0.0.1:$port$path >/dev/null 2>&1 || ! kill -0 $pid 2>/dev/null" 30
    if kill -0 "$pid" 2>/dev/null; then
      pids+=("$pid")
      printf -v "$var" %s "$port"
      return 0
    fi
    wait "$pid" 2>/dev/null
  done
  return 1
}
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$QV_E2E_TMP"
}
trap cleanup EXIT

# --- node_exporter with only the textfile collector ------------------------------
listen exp_port /metrics "$exporter" --web.listen-address=127.0.0.1:PORT --collector.disable-defaults \
  --collector.textfile --collector.textfile.directory="$textfile" ||
  { cat "$work/exp_port.log"; fail "node_exporter answers on 127.0.0.1"; finish; }

# --- the Monitor runs until the device check crossed and a mail failed ----------------
mkfifo "$mon/stdin"
(cd "$mon" && run_program "$mon/Monitor$QV_EXE" console <"$mon/stdin" >"$mon/out.txt" 2>&1) &
monitor=$!
exec 7>"$mon/stdin"
mail_failed='quorvanex_mails_total{check="device",result="failed"}'
check "the start file says up" wait_for '[ "$(file_value quorvanex_up)" = 1 ]' 20
check "a device crossing with a failed mail within 30 s" \
  wait_for '[ "$(file_value "$mail_failed")" != absent ] && [ "$(file_value "$mail_failed")" -ge 1 ]' 30

scraped=$(curl -fsS "http://127.0.0.1:$exp_port/metrics")
expect() {  # series, value
  local got
  got=$(value_of "$1" <<<"$scraped")
  if [ "$got" = "$2" ]; then pass "exporter: $1 = $2"; else fail "exporter: $1 = $got, expected $2"; fi
}
at_least_one() {
  local got
  got=$(value_of "$1" <<<"$scraped")
  if [ "$got" != absent ] && [ "$got" -ge 1 ]; then pass "exporter: $1 = $got"; else fail "exporter: $1 = $got"; fi
}
expect quorvanex_up 1
expect "quorvanex_info{computer=\"$name\",version=\"2.0.0\"}" 1
expect 'quorvanex_check_enabled{check="device"}' 1
expect 'quorvanex_check_threshold{check="ping"}' 1
expect 'quorvanex_check_healthy{check="device"}' 0
expect 'quorvanex_check_healthy{check="ping"}' 1
expect quorvanex_device_wmi_connected 1
expect 'quorvanex_ping_answered{server="127.0.0.1"}' 1
expect 'quorvanex_ping_answered{server="srv \"b\"\\c"}' 0
expect 'quorvanex_ping_answered{server="127.0.0.3"}' absent
expect 'quorvanex_check_failures_total{check="ping"}' 0
expect 'quorvanex_mails_total{check="device",result="sent"}' 0
at_least_one 'quorvanex_threshold_crossings_total{check="device"}'
at_least_one "$mail_failed"
at_least_one 'quorvanex_check_failures_total{check="device"}'
at_least_one quorvanex_cycles_total
check "the exporter read the file without error" grep -q '^node_textfile_scrape_error 0$' <<<"$scraped"

# promtool parses the file and has nothing to remark.
cp "$prom" "$work/snapshot.prom"
promtool check metrics <"$work/snapshot.prom" >"$work/promtool.txt" 2>&1
rc=$?
check "promtool check metrics accepts the file without remarks (exit $rc: $(cat "$work/promtool.txt"))" \
  test "$rc" = 0 -a ! -s "$work/promtool.txt"

# --- Prometheus with the example configuration and rules ---------------------------------
# Scraped and evaluated every second, with the rules' waiting times cut to
# nothing so that they fire within the test.
sed -e "s|- targets: .*|- targets: ['127.0.0.1:$exp_port']|" -e 's/_interval: .*/_interval: 1s/' \
  "$QV_ROOT/packaging/prometheus/prometheus.yml" >"$work/prometheus.yml"
sed -e 's/^\( *\)for: .*/\1for: 0s/' "$QV_ROOT/packaging/prometheus/quorvanex-rules.yml" >"$work/quorvanex-rules.yml"
check "promtool accepts the example configuration" promtool check config "$work/prometheus.yml"
listen prom_port /-/ready "$prometheus" --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
  --web.listen-address=127.0.0.1:PORT ||
  { cat "$work/prom_port.log"; fail "Prometheus answers on 127.0.0.1"; finish; }
check "alert for the failing device check fires" wait_for 'firing | grep -qx "QuorvanexCheckUnhealthy device"' 60
check "alert for the failing mail fires" wait_for 'firing | grep -qx "QuorvanexMailFailing device"' 30
check "no alert for the healthy ping check" not_firing ' ping$'
check "no stale or stopped alert while it runs" not_firing 'Stale|Stopped'

# --- the orderly stop writes up 0 -------------------------------------------------------
echo >&7
exec 7>&-
wait_for "! kill -0 $monitor 2>/dev/null" 30 || { fail "Monitor stopped on Enter"; kill "$monitor" 2>/dev/null; }
wait "$monitor" 2>/dev/null
check "the stop file says down" test "$(file_value quorvanex_up)" = 0
check "alert for the stopped Monitor fires" wait_for 'firing | grep -qx "QuorvanexStopped -"' 30

# The same series on both platforms: the final file with the values and the
# computer's name taken out.
series=$(sed -e '/^#/d' -e 's/ [^ ]*$//' -e "s/computer=\"$name\"/computer=\"NAME\"/" "$prom")
expected='quorvanex_check_consecutive_errors{check="device"}
quorvanex_check_consecutive_errors{check="ping"}
quorvanex_check_enabled{check="device"}
quorvanex_check_enabled{check="ping"}
quorvanex_check_failures_total{check="device"}
quorvanex_check_failures_total{check="ping"}
quorvanex_check_healthy{check="device"}
quorvanex_check_healthy{check="ping"}
quorvanex_check_threshold{check="device"}
quorvanex_check_threshold{check="ping"}
quorvanex_cycles_total
quorvanex_device_wmi_connected
quorvanex_info{computer="NAME",version="2.0.0"}
quorvanex_last_cycle_duration_seconds
quorvanex_last_cycle_timestamp_seconds
quorvanex_mails_total{check="device",result="failed"}
quorvanex_mails_total{check="device",result="sent"}
quorvanex_mails_total{check="ping",result="failed"}
quorvanex_mails_total{check="ping",result="sent"}
quorvanex_ping_answered{server="127.0.0.1"}
quorvanex_ping_answered{server="srv \"b\"\\c"}
quorvanex_screen_alerts_total{check="device",result="failed"}
quorvanex_screen_alerts_total{check="device",result="shown"}
quorvanex_screen_alerts_total{check="ping",result="failed"}
quorvanex_screen_alerts_total{check="ping",result="shown"}
quorvanex_start_time_seconds
quorvanex_threshold_crossings_total{check="device"}
quorvanex_threshold_crossings_total{check="ping"}
quorvanex_up'
if [ "$series" = "$expected" ]; then pass "the file's series"; else fail "the file's series: $(diff <(echo "$expected") <(echo "$series"))"; fi
check "the file ends in LF, no CR" bash -c "[ -z \"\$(tail -c1 '$prom')\" ] && ! grep -q $'\r' '$prom'"
check "no temporary file left" test "$(ls -A "$textfile")" = quorvanex.prom

# --- a Monitor that died: its file stops changing while it still says up ----------------
sed 's/^quorvanex_up 0$/quorvanex_up 1/' "$prom" >"$textfile/frozen.tmp"
touch -d '-1 hour' "$textfile/frozen.tmp"
mv "$textfile/frozen.tmp" "$prom"
check "alert for the stale file fires" wait_for 'firing | grep -qx "QuorvanexMetricsStale -"' 30

finish
