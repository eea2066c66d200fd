#!/usr/bin/env bash
# The on-screen alert on Linux as the service delivers it: a Monitor running
# as an unprivileged account with the unit's groups and no new privileges
# writes the message to the terminal of another logged-in user (a real
# pseudo-terminal with its utmp entry) and skips a terminal whose user said
# `mesg n`. Without the group tty nobody gets it: no "メッセージ表示ping",
# and the metrics count a failed alert.
source "$(dirname "$0")/lib.sh"
[ "$QV_PLATFORM" = posix ] || skip "terminals are the Linux delivery"
[ "$(id -u)" = 0 ] || skip "needs root: another user's terminal, a service account"
tty_gid=$(getent group tty | cut -d: -f3)
[ -n "$tty_gid" ] || skip "no group tty"

# Accounts by number only: nothing of the machine's user list changes.
svc=61722
user=61723
chmod 755 "$QV_E2E_TMP"
trap 'for p in $(cat "$QV_E2E_TMP/pids" 2>/dev/null); do kill "$p" 2>/dev/null; done; rm -rf "$QV_E2E_TMP"' EXIT

# A Monitor folder of the service account; the ping check fails (no server),
# so the threshold 1 is crossed at the second cycle. The body carries an
# escape sequence that must not reach the terminal.
prepare() {
  local dir=$1
  mkdir -p "$dir/metrics"
  cp "$QV_BIN/Monitor" "$dir/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n[Metrics]\r\nTextfileDir=%s\r\n' \
    "$dir/metrics" >"$dir/config.ini"
  printf '[Config]\r\nCount=0\r\n' >"$dir/quorvanex.ini"
  printf '[Config]\r\nMailSend=0\r\n' >"$dir/mail.ini"
  printf '[Config]\r\nPomvex=1\r\nBody_ping=screen \033[2Jping\r\n' >"$dir/message.ini"
  : >"$dir/utmp"
  chown -R "$svc:$svc" "$dir"
}

# A login of account $3 on a new terminal with mode $2, its output in $1/$4.out.
login() {
  local dir=$1 mode=$2 uid=$3 name=$4
  /usr/bin/python3 "$QV_ROOT/tests/e2e/tools/tty_login.py" "$dir/utmp" "$name" "$uid" "$mode" "$dir/$name.out" \
    >"$dir/$name.line" &
  echo $! >>"$QV_E2E_TMP/pids"
  wait_for "[ -s '$dir/$name.line' ]" 10 || fail "$name logged in"
}

# Runs the Monitor of $1 as the service account with setpriv options $2...
# until the threshold was crossed, then stops it with Enter.
run_monitor() {
  local dir=$1 log=$1/log/log.txt
  shift
  mkfifo "$dir/stdin"
  (cd "$dir" && QV_UTMP_FILE="$dir/utmp" exec setpriv --reuid="$svc" --regid="$svc" "$@" --no-new-privs \
    "$dir/Monitor" console <"$dir/stdin" >"$dir/out.txt" 2>&1) &
  local pid=$!
  exec 7>"$dir/stdin"
  wait_for "[ -s '$log' ] && log_text '$log' | grep -q 'Pingエラーしきい値を超過'" 30 || fail "threshold crossed"
  echo >&7
  exec 7>&-
  wait_for "! kill -0 $pid 2>/dev/null" 30 || { fail "Monitor stopped on Enter"; kill "$pid"; }
  wait "$pid"
}

shown_lines() { log_text "$1/log/log.txt" | grep -c 'メッセージ表示ping$'; }
alerts() { grep -c "^quorvanex_screen_alerts_total{check=\"ping\",result=\"$2\"} 1\$" "$1/metrics/quorvanex.prom"; }

work=$(e2e_tmpdir)
chmod 755 "$work"

# With the group tty, as the unit runs it.
with=$work/with
prepare "$with"
login "$with" 0620 "$user" alice
login "$with" 0600 "$svc" quiet  # mesg n, though the account could write to it
run_monitor "$with" --groups="$tty_gid"
sleep 0.5  # the copy of the terminal's output lags behind its write
check "the message reached alice's terminal" grep -q "screen \[2Jping" "$with/alice.out"
check "headed like wall's" grep -qE "^Broadcast message from $svc@$(hostname) \([0-9/]{10} [0-9:]{8}\):" \
  <(tr -d '\r' <"$with/alice.out")
check "no escape character reached it" bash -c "! grep -q $'\033' '$with/alice.out'"
check "the terminal said mesg n got nothing" test ! -s "$with/quiet.out"
check "logged as shown once" [ "$(shown_lines "$with")" -eq 1 ]
check "counted as shown" [ "$(alerts "$with" shown)" -eq 1 ]

# Without it the terminal refuses the account.
without=$work/without
prepare "$without"
login "$without" 0620 "$user" alice
run_monitor "$without" --clear-groups
sleep 0.5
check "without tty: nothing reached the terminal" test ! -s "$without/alice.out"
check "without tty: not logged as shown" [ "$(shown_lines "$without")" -eq 0 ]
check "without tty: counted as failed" [ "$(alerts "$without" failed)" -eq 1 ]

finish
