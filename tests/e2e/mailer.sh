#!/usr/bin/env bash
# Ostrival.exe against a real mail server on 127.0.0.1 (aiosmtpd with
# STARTTLS and AUTH required): delivery read back with Python's email package,
# each failure with its exit code and its line in mail.log, --test, implicit
# TLS, and the password kept out of clear text. Natively with OpenSSL, under
# Wine with Schannel.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/mail_lib.sh"

[ -f "$QV_BIN/Ostrival.exe" ] || skip "no Ostrival.exe in $QV_BIN"

work=$(e2e_tmpdir)
# A program folder of its own, whose config.ini names the log folder.
mkdir -p "$work/prog"
cp "$QV_BIN/Ostrival.exe" "$work/prog/"
printf '[Config]\r\nLogDir=logs\r\n' >"$work/prog/config.ini"
mailer=$work/prog/Ostrival.exe
mail_log=$work/prog/logs/mail.log
start_mail_server "$work/server"
ca=$(program_path "$work/server/ca.pem")
name=$(computer_name)

# Writes the mail file $1 from the common settings plus the lines on stdin
# (the first occurrence of a key wins, so those go first).
mail_file() {
  local file=$1 enc=${2:-cp932}
  { echo "[Config]"; grep -vx '\[Config\]'; cat <<EOF
SmtpServer=localhost
SmtpPort=$PORT_STARTTLS
User=$MAIL_USER
Password=$MAIL_PASSWORD
From=monitor@example.test
To=ops@example.test
CaFile=$ca
TimeoutSeconds=20
Body=ping error
EOF
  } | write_ini "$file" "$enc"
}

# Runs the mailer on mail file $1 (extra arguments first); sets rc, out, ms.
send() {
  local file=$1; shift
  local start end
  start=$(date +%s%N)
  out=$(run_program "$mailer" "$@" "$(program_path "$file")" 2>&1)
  rc=$?
  end=$(date +%s%N)
  out=${out//$'\r'/}  # the Windows console ends lines with CR LF
  ms=$(((end - start) / 1000000))
}

# Accepted: Japanese in the sender's and a recipient's name, the subject and
# the body (UTF-16LE file, one character beyond the BMP), two To and one Cc.
subject="監視アラート <name> 𠮷"
body="ping エラー: サーバー 192.0.2.1 応答なし ①"
printf '[Config]\nFrom=監視 <monitor@example.test>\nTo=ops@example.test; 運用 <duty@example.test>\nCc=cc@example.test\nSubject=%s\nBody=%s\n' \
  "$subject" "$body" | mail_file "$work/ok.ini" utf16
send "$work/ok.ini"
check "accepted: exit code 0 ($out)" [ "$rc" -eq 0 ]
check "accepted: nothing printed" [ -z "$out" ]
check "accepted: the server holds one message" [ "$(mail_count "$work/server")" -eq 1 ]
cat >"$work/expected.json" <<EOF
{"from": "monitor@example.test", "to": ["ops@example.test", "duty@example.test"],
 "cc": ["cc@example.test"], "subject": "${subject/<name>/$name}", "body": "$body",
 "envelope": ["ops@example.test", "duty@example.test", "cc@example.test"], "names": ["監視", "", "運用"]}
EOF
check "accepted: parsed back, addresses, subject and body intact" \
  "$QV_PYTHON" "$QV_ROOT/tests/e2e/tools/check_mail.py" "$work/server/mail/1.eml" "$work/expected.json"
check "accepted: logged in as the configured user" grep -q "\"login\": \"$MAIL_USER\"" "$work/server/mail/1.json"
check "accepted: mail.log says when, sent, to whom" grep -qxE \
  '[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\|sent\|0\|ops@example.test,duty@example.test,cc@example.test\|\|' "$mail_log"

# --test: each step, the password masked.
send "$work/ok.ini" --test
check "--test: exit code 0" [ "$rc" -eq 0 ]
for step in "Connecting to localhost:$PORT_STARTTLS" "Connected: 220" "TLS: established (STARTTLS)" \
            "Authenticating as $MAIL_USER" "Authentication: accepted" "Accepted: 250"; do
  check "--test shows \"$step\"" grep -qF -- "$step" <<<"$out"
done
check "--test shows the password as ***" grep -q 'password \*\*\*' <<<"$out"
check "--test never shows the password" bash -c '! grep -qF -- "$1" <<<"$2"' _ "$MAIL_PASSWORD" "$out"
check "--test sent a second message" [ "$(mail_count "$work/server")" -eq 2 ]
check "--test: its subject says it is a test" "$QV_PYTHON" -c '
import email, email.policy, sys
m = email.message_from_bytes(open(sys.argv[1], "rb").read(), policy=email.policy.default)
sys.exit(0 if str(m["Subject"]) == sys.argv[2] else 1)' "$work/server/mail/2.eml" "Test: ${subject/<name>/$name}"

# Wrong password: 4, and --test shows the server's refusal but no password.
printf 'Password=wrong-password\n' | mail_file "$work/badpw.ini"
send "$work/badpw.ini"
check "wrong password: exit code 4 ($out)" [ "$rc" -eq 4 ]
send "$work/badpw.ini" --test
check "wrong password: --test shows the server's last reply" grep -q "last reply: 535" <<<"$out"
check "wrong password: --test does not show it" bash -c '! grep -qF wrong-password <<<"$1"' _ "$out"
check "mail.log never holds a password" bash -c '! grep -qF -e wrong-password -e "$1" "$2"' _ "$MAIL_PASSWORD" "$mail_log"

# A refused recipient: 5, nothing delivered.
before=$(mail_count "$work/server")
printf 'To=nobody@example.test\n' | mail_file "$work/norcpt.ini"
send "$work/norcpt.ini"
check "recipient refused: exit code 5 ($out)" [ "$rc" -eq 5 ]
check "recipient refused: nothing delivered" [ "$(mail_count "$work/server")" -eq "$before" ]

# The certificate: refused when its CA is not trusted, unless checks are off.
printf 'CaFile=\n' | mail_file "$work/noca.ini"
if [ "$QV_PLATFORM" = win32 ]; then
  echo "note: untrusted certificate not checked under Wine: its Schannel accepts an unknown CA"
else
  send "$work/noca.ini"
  check "untrusted certificate: exit code 3 ($out)" [ "$rc" -eq 3 ]
fi
# A CaFile of another authority: the server's certificate chains to none it trusts.
make_ca "$work/other" || fail "second CA made"
printf 'CaFile=%s\n' "$(program_path "$work/other/ca.pem")" | mail_file "$work/otherca.ini"
send "$work/otherca.ini"
check "certificate of a CA other than CaFile's: exit code 3 ($out)" [ "$rc" -eq 3 ]
printf 'CaFile=\nVerifyCertificate=0\n' | mail_file "$work/noverify.ini"
send "$work/noverify.ini"
check "VerifyCertificate=0 accepts the unknown CA ($out)" [ "$rc" -eq 0 ]

# Nothing listening: 3, at once.
printf 'SmtpPort=%s\n' "$PORT_CLOSED" | mail_file "$work/closed.ini"
send "$work/closed.ini"
check "nothing listening: exit code 3 ($out)" [ "$rc" -eq 3 ]
check "nothing listening: within 5 s (${ms} ms)" [ "$ms" -lt 5000 ]

# A server that never answers: 6 once TimeoutSeconds (2) have passed.
printf 'SmtpPort=%s\nTimeoutSeconds=2\n' "$PORT_STALL" | mail_file "$work/stall.ini"
send "$work/stall.ini"
check "stalling server: exit code 6 ($out)" [ "$rc" -eq 6 ]
check "stalling server: after the time-out, within 10 s (${ms} ms)" [ "$ms" -ge 1900 -a "$ms" -lt 10000 ]

# TLS from the first byte on the second port.
before=$(mail_count "$work/server")
printf 'Security=tls\nSmtpPort=%s\n' "$PORT_TLS" | mail_file "$work/tls.ini"
send "$work/tls.ini" --test
check "implicit TLS: exit code 0 ($out)" [ "$rc" -eq 0 ]
check "implicit TLS: TLS before the greeting" grep -qx "TLS: established" <<<"$out"
check "implicit TLS: delivered" [ "$(mail_count "$work/server")" -eq $((before + 1)) ]

# The password in clear text: refused unless allowed; allowed, it logs in.
before=$(mail_count "$work/server")
printf 'Security=none\nSmtpPort=%s\n' "$PORT_PLAIN" | mail_file "$work/plain.ini"
send "$work/plain.ini"
check "Security=none with User: exit code 2, says why ($out)" bash -c '[ "$1" -eq 2 ] && grep -q AllowPlainTextPassword=1 <<<"$2"' _ "$rc" "$out"
printf 'Security=none\nSmtpPort=%s\nAllowPlainTextPassword=1\n' "$PORT_PLAIN" | mail_file "$work/plainok.ini"
send "$work/plainok.ini"
check "AllowPlainTextPassword=1: delivered ($out)" [ "$rc" -eq 0 -a "$(mail_count "$work/server")" -eq $((before + 1)) ]

# A server that offers no AUTH while a User is set: no mail.
printf 'SmtpPort=%s\n' "$PORT_NOAUTH" | mail_file "$work/noauth.ini"
send "$work/noauth.ini"
check "no AUTH offered, User set: exit code 4, says why ($out)" bash -c '[ "$1" -eq 4 ] && grep -q "offers no authentication" <<<"$2"' _ "$rc" "$out"
check "no AUTH offered, User set: nothing delivered" [ "$(mail_count "$work/server")" -eq $((before + 1)) ]

# A mail file that cannot be read says so.
for what in missing directory; do
  file=$work/$what.ini
  [ "$what" = directory ] && mkdir "$file"
  send "$file"
  check "$what mail file: exit code 2, cannot read it ($out)" \
    bash -c '[ "$1" -eq 2 ] && grep -qF "cannot read $3:" <<<"$2"' _ "$rc" "$out" "$(program_path "$file")"
done

# A mail log that cannot be written changes no exit code.
printf '[Config]\r\nLogDir=blocked\r\n' >"$work/prog/config.ini"
: >"$work/prog/blocked"
send "$work/ok.ini"
check "unwritable mail.log: said so, still exit code 0 ($out)" \
  bash -c '[ "$1" -eq 0 ] && grep -q "cannot write .*mail.log" <<<"$2"' _ "$rc" "$out"

# Settings that cannot work: 2, with no connection made.
printf '[Config]\nFrom=a@example.test\nTo=b@example.test\n' | write_ini "$work/noserver.ini" cp932
send "$work/noserver.ini"
check "missing SmtpServer: exit code 2" [ "$rc" -eq 2 ]
check "missing SmtpServer: said so" grep -q "SmtpServer" <<<"$out"
out=$(run_program "$mailer" 2>&1); rc=$?
check "no argument: exit code 2 and usage" bash -c '[ "$1" -eq 2 ] && grep -q usage <<<"$2"' _ "$rc" "$out"

stop_mail_server
finish
