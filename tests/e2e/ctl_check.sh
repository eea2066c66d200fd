#!/usr/bin/env bash
# quorvanexctl check: a clean INI set gives no finding (exit 0); each fault
# below gives a line naming file, section and key (exit 1); a file that
# cannot be read gives exit 2. Natively and under Wine.
source "$(dirname "$0")/lib.sh"
work=$(e2e_tmpdir)
ctl=$QV_BIN/quorvanexctl$QV_EXE

# The console's text: UTF-8 natively, code page 932 with CR LF under Wine.
run_check() {  # directory [quorvanexctl]: prints the output, returns the exit code
  local program=${2:-$ctl}
  if [ "$QV_PLATFORM" = win32 ]; then
    qv_wine "$program" --dir "$(program_path "$1")" check 2>&1 | iconv -f CP932 -t UTF-8 | tr -d '\r'
  else
    "$program" --dir "$1" check 2>&1
  fi
  return "${PIPESTATUS[0]}"
}

crlf() { sed 's/$/\r/'; }
clean_set() {  # directory
  mkdir -p "$1"
  crlf >"$1/config.ini" <<'EOF'
[Config]
Interval=5
LogDir=log
[Threshold]
Ping=1
DeviceManager=1
EOF
  crlf >"$1/quorvanex.ini" <<'EOF'
[Config]
Hardware=USB\VID_1234&PID_5678
Count=2
[Quorvanex_1]
Enabled=1
Server=127.0.0.1
Display=サーバ1
[Quorvanex_2]
Enabled=0
Server=127.0.0.2
EOF
  crlf >"$1/mail.ini" <<'EOF'
[Config]
MailSend=0
SmtpServer=mail.example.invalid
From=watch@example.invalid
To=admin@example.invalid
EOF
  crlf >"$1/message.ini" <<'EOF'
[Config]
Pomvex=1
Body_ping=ping error
EOF
  # The Display name above in code page 932, as Notepad saves ANSI.
  iconv -f UTF-8 -t CP932 "$1/quorvanex.ini" >"$1/q.tmp" && mv "$1/q.tmp" "$1/quorvanex.ini"
  : >"$1/Ostrival.exe"
}
set_key() {  # directory file section key value: replaces or adds key in section
  /usr/bin/python3 - "$@" <<'EOF'
import sys
d, name, section, key, value = sys.argv[1:]
path = f"{d}/{name}"
lines = open(path, encoding="cp932", newline="").read().split("\r\n")
out, current, done = [], None, False
for line in lines:
    if line.startswith("["):
        if current == section.lower() and not done:
            out.append(f"{key}={value}"); done = True
        current = line.strip("[]").lower()
    elif current == section.lower() and line.split("=")[0].lower() == key.lower() and not done:
        line = f"{key}={value}"; done = True
    out.append(line)
if not done:
    if current != section.lower():
        if out and out[-1] == "": out.pop()
        out += [f"[{section}]", ""]
    out.insert(len(out) - 1 if out[-1] == "" else len(out), f"{key}={value}")
open(path, "w", encoding="cp932", newline="").write("\r\n".join(out))
EOF
}

d=$work/clean
clean_set "$d"
out=$(run_check "$d"); rc=$?
[ $rc = 0 ] || echo "$out"
check "a clean set: exit 0" test $rc = 0
check "a clean set: no findings" grep -qx 'No findings.' <<<"$out"
has() { grep -q -- "$1" <<<"$out"; }
check "the settings: interval, thresholds" \
  eval 'has "^  interval *5 minutes$" && has "^  ping threshold *1 " && has "^  device threshold *1 "'
check "the settings: the device query with the backslash doubled" \
  grep -qF "like 'USB\\\\VID_1234&PID_5678%'" <<<"$out"
check "the settings: every server with its switch, Japanese display name intact" \
  eval 'has "\[Quorvanex_1\] on  127.0.0.1 (サーバ1)$" && has "\[Quorvanex_2\] off 127.0.0.2$"'
check "the settings: the log directory as resolved" grep -qF "$(program_path "$d/log")" <<<"$out"
check "check writes nothing: no log directory made" test ! -e "$d/log"

# Each case: a name, the start of the line expected, and the change to the clean set.
case_line() {  # name expected-line-start commands...
  local name=$1 expected=$2; shift 2
  local dir=$work/$name
  clean_set "$dir"
  ( cd "$dir" && eval "$*" ) || { fail "$name: could not prepare the set"; return; }
  local out rc
  out=$(run_check "$dir"); rc=$?
  if [ $rc = 1 ] && grep -qF -- "$expected" <<<"$out"; then
    pass "$name: exit 1 and \"$expected...\""
  else
    fail "$name: exit $rc; expected a line starting \"$expected\""
    sed -n '/^Findings:/,$p' <<<"$out" | sed 's/^/    /'
  fi
}
P='set_key .'
case_line unknown-key 'config.ini [Config] Intervall: unknown key (did you mean Interval?)' "$P config.ini Config Intervall 5"
case_line unknown-section 'config.ini [Treshold]: unknown section (did you mean Threshold?)' "$P config.ini Treshold Ping 3"
case_line key-in-other-file 'config.ini [Config] MailSend: unknown key (it belongs in mail.ini [Config])' \
  "$P config.ini Config MailSend 1"
case_line ping-not-decimal 'config.ini [Threshold] Ping="two": not a plain decimal; the Monitor reads 0, which switches the ping check off' \
  "$P config.ini Threshold Ping two"
case_line interval-not-decimal 'config.ini [Config] Interval="five": not a plain decimal; the Monitor reads 0, which runs a cycle every second' \
  "$P config.ini Config Interval five"
case_line threshold-negative 'config.ini [Threshold] DeviceManager="-3": negative; the Monitor reads -3, so the threshold stays at its built-in 5' \
  "$P config.ini Threshold DeviceManager -3"
case_line mailsend-out-of-range 'mail.ini [Config] MailSend="20": out of range (0 to 10, or 99); the Monitor reads 20' \
  "$P mail.ini Config MailSend 20"
case_line count-beyond-sections 'quorvanex.ini [Config] Count="4": more than the server sections there are: no [Quorvanex_3], [Quorvanex_4]' \
  "$P quorvanex.ini Config Count 4"
case_line section-past-count 'quorvanex.ini [Quorvanex_3]: past Count=2, so the Monitor does not read it' \
  "$P quorvanex.ini Quorvanex_3 Server 127.0.0.3"
case_line server-not-ipv4 'quorvanex.ini [Quorvanex_1] Server="server01": not a dotted IPv4 address' \
  "$P quorvanex.ini Quorvanex_1 Server server01"
case_line server-twice 'quorvanex.ini [Quorvanex_2] Server="127.0.0.1": the same server as [Quorvanex_1]' \
  "$P quorvanex.ini Quorvanex_2 Server 127.0.0.1"
case_line ping-without-server 'config.ini [Threshold] Ping="1": the ping check is on but no server of quorvanex.ini is switched on' \
  "$P quorvanex.ini Quorvanex_1 Enabled 0"
case_line device-empty-hardware 'quorvanex.ini [Config] Hardware="": empty while the device check is on' \
  "$P quorvanex.ini Config Hardware ''"
case_line hardware-quote "quorvanex.ini [Config] Hardware=\"USB\\VID_12'34\": holds a quote" \
  "$P quorvanex.ini Config Hardware \"USB\\\\VID_12'34\""
case_line utf8-without-bom 'message.ini [Config] Body_ping: the file is UTF-8 without a byte order mark, so it is read as code page 932' \
  "printf '[Config]\r\nPomvex=1\r\nBody_ping=ピングの応答なし\r\n' >message.ini"
case_line utf8-bom 'message.ini: starts with a UTF-8 byte order mark' \
  "printf '\xEF\xBB\xBF[Config]\r\nPomvex=1\r\n' >message.ini"
case_line file-missing 'message.ini: missing; the Monitor takes the built-in value of every key' "rm message.ini"
case_line mail-required-key 'mail.ini [Config] SmtpServer: missing while MailSend=1' \
  "$P mail.ini Config MailSend 1; $P mail.ini Config SmtpServer ''"
case_line mail-cafile-missing "mail.ini [Config] CaFile=\"$(program_path "$work/none/ca.pem")\": does not exist" \
  "$P mail.ini Config MailSend 1; $P mail.ini Config CaFile '$(program_path "$work/none/ca.pem")'"
case_line mail-password-in-clear 'mail.ini [Config] Security="none": User is set, so the password would cross the network in clear' \
  "$P mail.ini Config MailSend 1; $P mail.ini Config Security none; $P mail.ini Config User u; $P mail.ini Config Password s3cr3t"
case_line mailer-missing 'mail.ini [Config] MailSend="1": mail is on but the mail program' \
  "$P mail.ini Config MailSend 1; rm Ostrival.exe"
case_line metrics-dir-missing 'config.ini [Metrics] TextfileDir="metrics": the directory' \
  "$P config.ini Metrics TextfileDir metrics"
case_line log-dir-blocked 'config.ini [Config] LogDir="log/today": the log directory' \
  "$P config.ini Config LogDir log/today; : >log"

# A password is never printed, not even in a finding about its section.
check "no password in the output" bash -c "! grep -q s3cr3t <<<\"\$1\"" _ "$(run_check "$work/mail-password-in-clear")"

# A file that is there but cannot be read: exit 2.
d=$work/unreadable
clean_set "$d"
rm "$d/config.ini" && mkdir "$d/config.ini"
out=$(run_check "$d"); rc=$?
check "an unreadable config.ini: exit 2 (got $rc)" test $rc = 2
check "... and the line names it" grep -q '^config.ini: cannot be read' <<<"$out"

# Without --dir: the folder of the program itself, a link resolved.
d=$work/installed
clean_set "$d"
cp "$ctl" "$d/"
if [ "$QV_PLATFORM" = win32 ]; then
  out=$(qv_wine "$(program_path "$d/quorvanexctl.exe")" check | iconv -f CP932 -t UTF-8 | tr -d '\r')
else
  mkdir "$work/sbin" && ln -s "$d/quorvanexctl" "$work/sbin/quorvanexctl"
  out=$("$work/sbin/quorvanexctl" check)
fi
check "without --dir it reads the folder it lies in" \
  grep -qxF "Settings the Monitor would start with, from $(program_path "$d"):" <<<"$out"

# Linux: an account that may neither open an ICMP datagram socket nor a raw
# one. A network namespace of our own starts with net.ipv4.ping_group_range
# "1 0"; nobody, without capabilities, gets neither socket.
if [ "$QV_PLATFORM" = posix ]; then
  if [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
    d=$work/no-ping
    clean_set "$d"
    chmod -R a+rX "$QV_E2E_TMP"
    out=$(unshare -n setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all --bounding-set=-all \
            "$ctl" --dir "$d" check 2>&1); rc=$?
    check "an account that cannot ping: exit 1 (got $rc)" test $rc = 1
    check "... and the line names the key and the reason" \
      grep -q '^config.ini \[Threshold\] Ping="1": the ping check is on but this account cannot ping: .*CAP_NET_RAW' <<<"$out"
  else
    echo "note: not root or no network namespaces: the ping-rights case is not run"
  fi
fi
finish
