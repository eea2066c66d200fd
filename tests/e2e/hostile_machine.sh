#!/usr/bin/env bash
# The Monitor in console runs on machines that are odd or hostile: log
# directories that must be made, are absolute or cannot be written; a mail
# copy left behind; links, FIFOs and a directory swap planted by the account
# the service runs as while root runs the Monitor; a launcher that ignores
# SIGCHLD. Each run must keep working (or say why not) and stop on Enter.
source "$(dirname "$0")/lib.sh"

work=$(e2e_tmpdir)
# The service account below must reach its directories.
chmod 755 "$QV_E2E_TMP" "$work"

# A Monitor directory in $1: a ping check that fails every cycle (no servers),
# a mail at every crossing, the given LogDir ($2), a fake mailer.
layout() {
  local d=$1 logdir=${2:-log}
  mkdir -p "$d"
  cp "$QV_BIN/Monitor$QV_EXE" "$d/"
  printf '[Config]\r\nInterval=0\r\nLogDir=%s\r\n[Threshold]\r\nPing=1\r\nDeviceManager=0\r\n' "$logdir" >"$d/config.ini"
  printf '[Config]\r\nCount=0\r\n' >"$d/quorvanex.ini"
  printf '[Config]\r\nMailSend=99\r\nBody_ping=ping down\r\n' >"$d/mail.ini"
  printf '[Config]\r\nPomvex=0\r\n' >"$d/message.ini"
  if [ "$QV_PLATFORM" = win32 ]; then
    cp "$QV_BIN/fake_mailer.exe" "$d/Ostrival.exe"
  else
    cat >"$d/Ostrival.exe" <<'EOF'
#!/bin/sh
echo "$1" >>"$(dirname "$0")/mailer_calls.txt"
exit 0
EOF
    chmod 755 "$d/Ostrival.exe"
  fi
}

# Starts the Monitor of $1 in a console run; what comes before it in "$@"
# after $1 is the launcher. Standard error goes to $1/err.txt.
monitor_pid=
start_monitor() {
  local d=$1; shift
  rm -f "$d/stdin"; mkfifo "$d/stdin"
  (cd "$d" && exec "$@" $(run_launcher) "$d/Monitor$QV_EXE" console <"$d/stdin" >"$d/out.txt" 2>"$d/err.txt") &
  monitor_pid=$!
  exec 7>"$d/stdin"
}
run_launcher() { [ "$QV_PLATFORM" = win32 ] && echo "env LC_ALL=ja_JP.UTF-8 wine"; }
# Presses Enter; true when the Monitor ended within 15 s (else it is killed).
stop_monitor() {
  echo >&7
  exec 7>&-
  if wait_for "! kill -0 $monitor_pid 2>/dev/null" 15; then
    wait "$monitor_pid" 2>/dev/null
    return 0
  fi
  kill -KILL "$monitor_pid" 2>/dev/null  # the Monitor itself: the subshell exec'd it
  wait "$monitor_pid" 2>/dev/null
  return 1
}
count() { if [ -f "$1" ]; then log_text "$1" | grep -c -- "$2"; else echo 0; fi; }
calls() { if [ -f "$1/mailer_calls.txt" ]; then wc -l <"$1/mailer_calls.txt"; else echo 0; fi; }
said_unwritable() { iconv -f "$([ "$QV_PLATFORM" = win32 ] && echo CP932 || echo UTF-8)" -t UTF-8 "$1/err.txt" | grep -c 'ログを書き込めません'; }

# --- Log directories -------------------------------------------------------

# Levels that do not exist yet are made.
d=$work/levels
if [ "$QV_PLATFORM" = win32 ]; then layout "$d" 'a\b'; else layout "$d" a/b; fi
start_monitor "$d"
wait_for "[ \$(count '$d/a/b/log.txt' 'Pingエラーしきい値を超過') -ge 1 ]" 20
check "LogDir a/b: Monitor stops" stop_monitor
check "LogDir a/b: the log is in a/b" [ "$(count "$d/a/b/log.txt" 'エラーカウント監視開始')" -eq 1 ]

# An absolute directory is used as given.
d=$work/absolute
abs=$work/elsewhere/qvlogs
layout "$d" "$(program_path "$abs")"
start_monitor "$d"
wait_for "[ -s '$abs/log.txt' ]" 20
check "absolute LogDir: Monitor stops" stop_monitor
check "absolute LogDir: the log is there" [ "$(count "$abs/log.txt" 'エラーカウント監視開始')" -eq 1 ]
check "absolute LogDir: nothing below the program directory" \
  bash -c "[ -z \"\$(find '$d' -mindepth 1 -type d)\" ]"

# A log that cannot be written is said once on standard error; the watch goes on.
d=$work/unwritable
layout "$d" 'blocker/log'
echo "a file where a directory should be" >"$d/blocker"
start_monitor "$d"
wait_for "[ \$(calls '$d') -ge 2 ]" 20
sleep 1  # a few more writer passes
check "unwritable log: Monitor stops" stop_monitor
check "unwritable log: said once on standard error" [ "$(said_unwritable "$d")" -eq 1 ]
check "unwritable log: mails still go out" [ "$(calls "$d")" -ge 2 ]

# A mail copy left by a killed run (it holds the password) goes at the start.
d=$work/leftover
layout "$d"
printf '[Config]\r\nPassword=secret\r\n' >"$d/mail_12345.ini"
printf '[Config]\r\nMailSend=0\r\n' >"$d/mail.ini"
start_monitor "$d"
wait_for "[ \$(count '$d/log/log.txt' 'エラーカウント監視開始') -ge 1 ]" 20
check "leftover mail copy: deleted at the start" [ ! -e "$d/mail_12345.ini" ]
check "leftover mail copy: Monitor stops" stop_monitor

if [ "$QV_PLATFORM" = win32 ]; then
  # Wine shows a Unix link to a directory as a reparse point, but every file
  # has the same owner there: the link counts as the program directory
  # owner's and is followed. A foreign owner cannot be shown under Wine.
  d=$work/reparse
  layout "$d"
  mkdir -p "$work/reparse-target"
  ln -s "$work/reparse-target" "$d/log"
  start_monitor "$d"
  wait_for "[ -s '$work/reparse-target/log.txt' ]" 20
  check "log directory reparse point of the owner: Monitor stops" stop_monitor
  check "log directory reparse point of the owner: followed" \
    [ "$(count "$work/reparse-target/log.txt" 'エラーカウント監視開始')" -eq 1 ]
  finish
fi

# --- Linux only: FIFOs, inherited signals, links planted for root ----------

# A FIFO at log/log.txt: refused, said once, and the stop does not wait for it.
d=$work/fifo-log
layout "$d"
mkdir -p "$d/log"
mkfifo "$d/log/log.txt"
start_monitor "$d"
wait_for "[ \$(calls '$d') -ge 1 ]" 20
check "FIFO log.txt: Monitor stops at once" stop_monitor
check "FIFO log.txt: said once on standard error" [ "$(said_unwritable "$d")" -eq 1 ]

# A FIFO in place of mail.ini once the settings are read: every mail fails,
# the cycles go on.
d=$work/fifo-mail
layout "$d"
start_monitor "$d"
wait_for "[ \$(calls '$d') -ge 1 ]" 20
rm "$d/mail.ini"
mkfifo "$d/mail.ini"
wait_for "[ \$(count '$d/log/log.txt' 'メール送信 失敗') -ge 2 ]" 20
sent=$(calls "$d")  # a mail under way at the swap has ended by now
wait_for "[ \$(count '$d/log/log.txt' 'メール送信 失敗') -ge 4 ]" 20
check "FIFO mail.ini: Monitor stops at once" stop_monitor
check "FIFO mail.ini: the cycles went on, each mail failed" [ "$(count "$d/log/log.txt" 'メール送信 失敗')" -ge 4 ]
check "FIFO mail.ini: no mailer started" [ "$(calls "$d")" -eq "$sent" ]

# Started by a launcher that ignores SIGCHLD: exit codes still reach us.
d=$work/sigchld
layout "$d"
start_monitor "$d" /usr/bin/python3 -c \
  'import os, signal, sys; signal.signal(signal.SIGCHLD, signal.SIG_IGN); os.execv(sys.argv[1], sys.argv[1:])'
wait_for "[ \$(calls '$d') -ge 3 ]" 20
check "SIGCHLD ignored by the launcher: Monitor stops" stop_monitor
check "SIGCHLD ignored by the launcher: mails logged as sent" [ "$(count "$d/log/log.txt" 'メール送信 成功')" -ge 3 ]
check "SIGCHLD ignored by the launcher: none logged as failed" [ "$(count "$d/log/log.txt" 'メール送信 失敗')" -eq 0 ]

[ "$(id -u)" = 0 ] && command -v setpriv >/dev/null || { echo "not root: the planted-link cases need root"; finish; }

# The layout the Debian package makes: the program directory root's with the
# sticky bit, writable by the service account's group; log/ the service
# account's. A uid nobody has plays the service account; root runs the Monitor.
svc=$((61000 + $$ % 3000))
as_service() { setpriv --reuid="$svc" --regid="$svc" --clear-groups "$@"; }
package_layout() {
  layout "$1"
  chown "root:$svc" "$1"
  chmod 1775 "$1"
  mkdir -p "$1/log"
  chown "$svc:$svc" "$1/log"
  chmod 750 "$1/log"
}
secret=$work/secret
mkdir -p "$secret/dir"
echo "root only" >"$secret/file"
chmod 700 "$secret"

# log/log.txt -> a root-only file: not appended to.
d=$work/pkg-logfile
package_layout "$d"
as_service ln -s "$secret/file" "$d/log/log.txt"
start_monitor "$d"
wait_for "[ \$(calls '$d') -ge 2 ]" 20
check "planted log.txt link: Monitor stops" stop_monitor
check "planted log.txt link: the root-only file is untouched" [ "$(cat "$secret/file")" = "root only" ]
check "planted log.txt link: said once on standard error" [ "$(said_unwritable "$d")" -eq 1 ]

# mail_12345.ini -> a name in a root-only directory, planted while root runs:
# the link is removed and the copy made in its place; nothing appears there.
d=$work/pkg-mailcopy
package_layout "$d"
start_monitor "$d"
wait_for "[ \$(calls '$d') -ge 1 ]" 20
# Not while a mail is under way: then root's copy has the name.
wait_for "as_service ln -s '$secret/dir/new' '$d/mail_12345.ini' 2>/dev/null" 10
check "planted mail copy link: planted" [ -L "$d/mail_12345.ini" ]
planted_at=$(calls "$d")
wait_for "[ \$(calls '$d') -ge $((planted_at + 2)) ]" 20
check "planted mail copy link: Monitor stops" stop_monitor
check "planted mail copy link: nothing made behind it" [ ! -e "$secret/dir/new" ]
check "planted mail copy link: mails went on" [ "$(calls "$d")" -ge $((planted_at + 2)) ]
check "planted mail copy link: all sent" [ "$(count "$d/log/log.txt" 'メール送信 失敗')" -eq 0 ]

# log/ swapped for a link to another directory with a full set of rotated
# files and a log past 150 KiB: neither written, rotated nor pruned.
d=$work/pkg-logdir
package_layout "$d"
other=$work/other
mkdir -p "$other"
for i in $(seq 11 41); do echo old >"$other/202601${i}_000000_log.txt"; done
head -c 153601 /dev/zero | tr '\0' a >"$other/log.txt"
as_service mv "$d/log" "$d/log.old"
as_service ln -s "$other" "$d/log"
start_monitor "$d"
wait_for "[ \$(calls '$d') -ge 2 ]" 20
check "planted log directory link: Monitor stops" stop_monitor
check "planted log directory link: its log.txt untouched" [ "$(stat -c %s "$other/log.txt")" -eq 153601 ]
check "planted log directory link: its rotated files untouched" [ "$(ls "$other" | grep -c '_log.txt$')" -eq 31 ]
check "planted log directory link: said once on standard error" [ "$(said_unwritable "$d")" -eq 1 ]

# The same link made by root, as the package makes log/ -> /var/log/...: used.
d=$work/pkg-rootlink
package_layout "$d"
rm -rf "$d/log"
mkdir -p "$work/varlog"
chown "$svc:$svc" "$work/varlog"
ln -s "$work/varlog" "$d/log"
start_monitor "$d"
wait_for "[ -s '$work/varlog/log.txt' ]" 20
check "root's log directory link: Monitor stops" stop_monitor
check "root's log directory link: the log is written through it" \
  [ "$(count "$work/varlog/log.txt" 'エラーカウント監視開始')" -eq 1 ]

finish
