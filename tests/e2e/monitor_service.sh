#!/usr/bin/env bash
# Monitor as a service. Windows (Wine): installed with sc, started, stopped,
# deleted. Linux: started the way systemd does (NOTIFY_SOCKET), stopped with
# SIGTERM, and with SIGINT and SIGHUP the same way. Both: started by hand
# without arguments it exits 0 silently.
source "$(dirname "$0")/lib.sh"

root=$(e2e_tmpdir)
d="$root/svc"; mkdir -p "$d"
cp "$QV_BIN/Monitor$QV_EXE" "$d/"
printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=0\r\nDeviceManager=0\r\n' >"$d/config.ini"
log="$d/log/log.txt"

check_service_log() {
  local text expected
  text=$(log_text "$log" | sed -E 's#^[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\|#<stamp>|#')
  expected=$(printf '<stamp>|-|%s\n<stamp>|-|%s\n<stamp>|-|%s' "サービス開始" "エラーカウント監視開始" "サービス停止")
  if [ "$text" = "$expected" ]; then pass "service log lines"; else fail "service log lines: $text"; fi
  check "log in CR LF" test "$(tr -cd '\n' <"$log" | wc -c)" = "$(grep -c $'\r$' "$log")"
}

# Without a service manager: like a failed dispatcher (Wine needs ~10 s to say so).
h="$root/by-hand"; mkdir -p "$h"
cp "$QV_BIN/Monitor$QV_EXE" "$h/"
(unset NOTIFY_SOCKET; run_program "$h/Monitor$QV_EXE" </dev/null >"$h/out.txt" 2>"$h/err.txt")
rc=$?
check "no argument, no service manager: exit code 0" test "$rc" = 0
check "no argument, no service manager: nothing printed" test ! -s "$h/out.txt" -a ! -s "$h/err.txt"
check "no argument, no service manager: nothing started" test ! -e "$h/log"

if [ "$QV_PLATFORM" = win32 ]; then
  name=quorvanexdevicechecker
  sc_state() { qv_wine sc query "$name" 2>/dev/null | tr -d '\r' | sed -nE 's/.*STATE +: +[0-9]+ +([A-Z_]+).*/\1/p'; }
  qv_wine sc stop "$name" >/dev/null 2>&1
  qv_wine sc delete "$name" >/dev/null 2>&1
  trap "qv_wine sc stop $name >/dev/null 2>&1; qv_wine sc delete $name >/dev/null 2>&1; rm -rf '$QV_E2E_TMP'" EXIT

  check "sc create" qv_wine sc create "$name" binPath= "$(program_path "$d/Monitor.exe")"
  check "sc start" bash -c "source '$QV_ROOT/scripts/wine-env.sh'; qv_wine sc start $name >/dev/null"
  check "start line logged" wait_for "log_text '$log' 2>/dev/null | grep -q 'エラーカウント監視開始'" 20
  check "state RUNNING" test "$(sc_state)" = RUNNING
  stop_report=$(qv_wine sc stop "$name" | tr -d '\r')
  # An idle service may have stopped already by the time sc asks.
  check "sc stop reports STOP_PENDING with wait hint 3000, or STOPPED" \
    grep -qzE 'STATE +: +(3 +STOP_PENDING.*WAIT_HINT +: +0xbb8|1 +STOPPED)' <<<"$stop_report"
  check "state STOPPED" wait_for '[ "$(sc_state)" = STOPPED ]' 20
  # After STOPPED the process ends by itself: one that fails on its way out
  # stays behind with Wine's debugger.
  process_ended() { ! pgrep -f -- "$(basename "$root")" >/dev/null; }
  check "the service's process ended" wait_for process_ended 20
  check_service_log

  # A stop while a mail is being sent (a fake mailer that takes 6 s) waits
  # for it, reporting STOP_PENDING with a checkpoint that moves on.
  rm -rf "$d/log"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n' >"$d/config.ini"
  printf '[Config]\r\nCount=0\r\n' >"$d/quorvanex.ini"
  printf '[Config]\r\nMailSend=1\r\nServer=smtp.test\r\n[Test]\r\nSleepMs=6000\r\n' >"$d/mail.ini"
  cp "$QV_BIN/fake_mailer.exe" "$d/Ostrival.exe"
  check "sc start (mail)" bash -c "source '$QV_ROOT/scripts/wine-env.sh'; qv_wine sc start $name >/dev/null"
  check "mailer started" wait_for "[ -s '$d/mailer_calls.txt' ]" 30
  qv_wine "$QV_BIN/qv_svcwatch.exe" "$name" 60 | tr -d '\r' >"$root/watch.txt"
  cat "$root/watch.txt"
  check "STOP_PENDING with checkpoint 0 and wait hint 3000 first" \
    test "$(head -1 "$root/watch.txt" | cut -d' ' -f2-)" = "3 0 3000"
  checkpoints=$(awk '$2 == 3 {print $3}' "$root/watch.txt" | tr '\n' ' ')
  check "checkpoint moves on while the mail is sent ($checkpoints)" \
    awk '$2 == 3 {if ($3 != n) exit 1; n++} END {exit n < 4}' "$root/watch.txt"
  check "STOPPED in the end" grep -q '^stopped ' "$root/watch.txt"
  check "the service's process ended (mail)" wait_for process_ended 20
  check "the mail finished before the stop line" \
    grep -qE '^メール送信 成功:.* サービス停止 $' <<<"$(log_text "$log" | sed -E 's/^[^|]*\|-\|//' | tail -2 | tr '\n' ' ')"
  check "sc delete" qv_wine sc delete "$name"
  finish
fi

# Linux: a notify socket of our own, as systemd would hand it over.
cat >"$root/notify.py" <<'PY'
import os, signal, socket, subprocess, sys, time
program, sock_path, events = sys.argv[1], sys.argv[2], sys.argv[3]
stop_signal = getattr(signal, sys.argv[4] if len(sys.argv) > 4 else "SIGTERM")
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind("\0" + sock_path[1:] if sock_path.startswith("@") else sock_path)
s.settimeout(10)
env = dict(os.environ, NOTIFY_SOCKET=sock_path)
p = subprocess.Popen([program], env=env, stdin=subprocess.DEVNULL,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
out = open(events, "w")
def expect(word):
    deadline = time.time() + 10
    while time.time() < deadline:
        try:
            msg = s.recv(4096).decode()
        except socket.timeout:
            break
        out.write(msg.replace("\n", " ") + "\n"); out.flush()
        if word in msg.split("\n"):
            return True
    return False
ready = expect("READY=1")
if len(sys.argv) > 5:  # signal once this file appears
    deadline = time.time() + 30
    while not os.path.exists(sys.argv[5]) and time.time() < deadline:
        time.sleep(0.05)
else:
    time.sleep(0.5)
p.send_signal(stop_signal)
stopping = expect("STOPPING=1")
s.settimeout(0.2)
deadline = time.time() + 30
while p.poll() is None and time.time() < deadline:
    try:
        out.write(s.recv(4096).decode().replace("\n", " ") + "\n"); out.flush()
    except socket.timeout:
        pass
try:
    stdout, stderr = p.communicate(timeout=10)
except subprocess.TimeoutExpired:
    p.kill(); stdout, stderr = p.communicate()
out.write("ready=%d stopping=%d rc=%d output=%d\n" % (ready, stopping, p.returncode, len(stdout) + len(stderr)))
PY
/usr/bin/python3 "$root/notify.py" "$d/Monitor" "$root/notify.sock" "$root/events.txt"
result=$(tail -1 "$root/events.txt")
check "READY=1 arrived ($result)" grep -q 'ready=1' <<<"$result"
check "STOPPING=1 arrived after SIGTERM" grep -q 'stopping=1' <<<"$result"
check "exit code 0" grep -q 'rc=0 ' <<<"$result"
check "nothing printed" grep -q 'output=0' <<<"$result"
check "READY before STOPPING" bash -c "grep -n -e READY=1 -e STOPPING=1 '$root/events.txt' | head -1 | grep -q READY"
check_service_log

# systemd may also name a socket in the abstract namespace ("@name").
rm -rf "$d/log"
/usr/bin/python3 "$root/notify.py" "$d/Monitor" "@qv-e2e-notify-$$" "$root/events2.txt"
result=$(tail -1 "$root/events2.txt")
check "abstract socket: READY=1 and STOPPING=1, exit 0 ($result)" \
  grep -q 'ready=1 stopping=1 rc=0 output=0' <<<"$result"
check_service_log

# SIGINT (a Ctrl-C) and SIGHUP stop the service as SIGTERM does.
for sig in SIGINT SIGHUP; do
  rm -rf "$d/log"
  /usr/bin/python3 "$root/notify.py" "$d/Monitor" "$root/notify-$sig.sock" "$root/events-$sig.txt" "$sig"
  result=$(tail -1 "$root/events-$sig.txt")
  check "$sig: STOPPING=1, exit 0 ($result)" grep -q 'ready=1 stopping=1 rc=0 output=0' <<<"$result"
  check_service_log
done

# SIGTERM while a mail is being sent (a mailer that takes 4 s): the stop waits
# for it and asks systemd for more time while it does.
rm -rf "$d/log"
printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n' >"$d/config.ini"
printf '[Config]\r\nCount=0\r\n' >"$d/quorvanex.ini"
printf '[Config]\r\nMailSend=1\r\nServer=smtp.test\r\n' >"$d/mail.ini"
printf '#!/bin/sh\ntouch "$(dirname "$0")/mailer_started"\nsleep 4\n' >"$d/Ostrival.exe"
chmod +x "$d/Ostrival.exe"
/usr/bin/python3 "$root/notify.py" "$d/Monitor" "$root/notify-mail.sock" "$root/events-mail.txt" SIGTERM \
  "$d/mailer_started"
cat "$root/events-mail.txt"
result=$(tail -1 "$root/events-mail.txt")
check "during a mail: STOPPING=1, exit 0 ($result)" grep -q 'ready=1 stopping=1 rc=0 output=0' <<<"$result"
check "during a mail: more time asked for, in steps" \
  test "$(grep -c 'EXTEND_TIMEOUT_USEC=3000000' "$root/events-mail.txt")" -ge 2
check "during a mail: the mail finished before the stop line" \
  grep -qE '^メール送信 成功:.* サービス停止 $' <<<"$(log_text "$log" | sed -E 's/^[^|]*\|-\|//' | tail -2 | tr '\n' ' ')"
finish
