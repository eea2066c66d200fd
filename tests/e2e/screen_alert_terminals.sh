#!/usr/bin/env bash
# The on-screen alert on Linux as the service delivers it: a Monitor running
# as an unprivileged account with the unit's groups and no new privileges
# writes the message to another logged-in user's terminal (a real
# pseudo-terminal with its utmp entry) and skips a terminal whose user said
# `mesg n`. Without the group tty nobody gets it: no "メッセージ表示ping",
# and the metrics count a failed alert.
source "$(dirname "$0")/lib.sh"
[ "$QV_PLATFORM" = posix ] || skip "terminals are the Linux delivery"
[ "$(id -u)" = 0 ] || skip "needs root: another user's terminal, a service account"
tty_gid=$(getent group tty | cut -d: -f3)
svc=61722 user=61723  # accounts by number only: the machine's user list stays as it is
chmod 755 "$QV_E2E_TMP"
trap 'kill $(cat "$QV_E2E_TMP/pids") 2>/dev/null; rm -rf "$QV_E2E_TMP"' EXIT

# Runs a Monitor of the service account in $1 with setpriv's group option $2
# until the failing ping check (no server) has crossed threshold 1, with the
# terminals of $3... logged in ("name:mode:uid"). The body holds an escape sequence.
run() {
  local d=$1 groups=$2 login
  shift 2
  mkdir -p "$d/metrics" && cp "$QV_BIN/Monitor" "$d/" && : >"$d/utmp"
  printf '[Config]\r\nInterval=0\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n[Metrics]\r\nTextfileDir=%s\r\n' \
    "$d/metrics" >"$d/config.ini"
  printf '[Config]\r\nPomvex=1\r\nBody_ping=screen \033[2Jping\r\n' >"$d/message.ini"
  chown -R "$svc:$svc" "$d"
  for login in "$@"; do
    IFS=: read -r name mode uid <<<"$login"
    /usr/bin/python3 "$QV_ROOT/tests/e2e/tools/tty_login.py" "$d/utmp" "$name" "$uid" "$mode" "$d/$name.out" \
      >"$d/$name.line" &
    echo $! >>"$QV_E2E_TMP/pids"
    wait_for "[ -s '$d/$name.line' ]" 10 || fail "$name logged in"
  done
  mkfifo "$d/stdin"
  (cd "$d" && QV_UTMP_FILE="$d/utmp" exec setpriv --reuid="$svc" --regid="$svc" "$groups" --no-new-privs \
    "$d/Monitor" console <"$d/stdin" >"$d/out.txt" 2>&1) &
  exec 7>"$d/stdin"
  wait_for "log_text '$d/log/log.txt' 2>/dev/null | grep -q 'Pingエラーしきい値を超過'" 30 || fail "threshold crossed"
  echo >&7 && exec 7>&- && wait $!
  sleep 0.5  # the copy of a terminal's output follows the write
}
shown() { [ "$(log_text "$1/log/log.txt" | grep -c 'メッセージ表示ping$')" = "$2" ]; }
counted() { grep -qx "quorvanex_screen_alerts_total{check=\"ping\",result=\"$2\"} 1" "$1/metrics/quorvanex.prom"; }

work=$(e2e_tmpdir)
chmod 755 "$work"
# mesg n on a terminal the account itself owns: it could write there, and must not.
run "$work/with" --groups="$tty_gid" "alice:0620:$user" "quiet:0600:$svc"
check "the message reached alice's terminal" grep -q "screen \[2Jping" "$work/with/alice.out"
check "headed like wall's" grep -qE "^Broadcast message from $svc@$(hostname) \([0-9/]{10} [0-9:]{8}\):" \
  <(tr -d '\r' <"$work/with/alice.out")
check "no escape character reached it" bash -c "! grep -q $'\033' '$work/with/alice.out'"
check "the terminal that said mesg n got nothing" test ! -s "$work/with/quiet.out"
check "logged as shown once" shown "$work/with" 1
check "counted as shown" counted "$work/with" shown

run "$work/without" --clear-groups "alice:0620:$user"
check "without tty: nothing reached the terminal" test ! -s "$work/without/alice.out"
check "without tty: not logged as shown" shown "$work/without" 0
check "without tty: counted as failed" counted "$work/without" failed
finish
