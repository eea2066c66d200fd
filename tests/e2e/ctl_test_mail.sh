#!/usr/bin/env bash
# quorvanexctl test-mail: the folder's Ostrival.exe --test on its mail.ini,
# against the test mail server on 127.0.0.1 (STARTTLS, AUTH): the mail
# program's steps shown, the password never, its exit code passed on.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/mail_lib.sh"
source "$(dirname "$0")/ctl_lib.sh"
[ -f "$QV_BIN/Ostrival.exe" ] || skip "no Ostrival.exe in $QV_BIN"
work=$(e2e_tmpdir)
start_mail_server "$work/server"
d=$work/folder
ctl_folder "$d"
cp "$QV_BIN/Ostrival.exe" "$d/"
mail_ini() {  # password
  printf '[Config]\nMailSend=1\nSmtpServer=localhost\nSmtpPort=%s\nUser=%s\nPassword=%s\nFrom=monitor@example.test\nTo=ops@example.test\nCaFile=%s\nTimeoutSeconds=20\n' \
    "$PORT_STARTTLS" "$MAIL_USER" "$1" "$(program_path "$work/server/ca.pem")" | write_ini "$d/mail.ini" cp932
}

mail_ini "$MAIL_PASSWORD"
ctl_in "$d" test-mail
echo "$ctl_out"
check "test-mail: exit 0 ($ctl_rc)" [ "$ctl_rc" = 0 ]
check "test-mail: the mail program's steps" grep -q 'Authentication: accepted' <<<"$ctl_out"
check "test-mail: the server got the mail" [ "$(mail_count "$work/server")" = 1 ]
check "test-mail: the password is not shown" bash -c '! grep -qF -- "$1" <<<"$2$3"' _ "$MAIL_PASSWORD" "$ctl_out" "$ctl_err"

mail_ini wrong-password
ctl_in "$d" test-mail
check "test-mail, refused login: the mail program's exit code 4 ($ctl_rc)" [ "$ctl_rc" = 4 ]

rm "$d/Ostrival.exe"
ctl_in "$d" test-mail
check "test-mail without Ostrival.exe: exit 1, says so ($ctl_rc)" \
  eval '[ "$ctl_rc" = 1 ] && grep -q "cannot run .*Ostrival.exe" <<<"$ctl_err"'
stop_mail_server
finish
