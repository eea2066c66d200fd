#!/usr/bin/env bash
# Soak: a console Monitor with Interval=0, both checks failing every cycle and
# a fast mailer that fails (so every cycle logs an alert and a mail line),
# while the log is pushed past its size limit again and again so that it
# rotates about once a second. Passes when the Monitor survives, every line
# it wrote from the first to the last is in the rotated files and log.txt in
# order, and no more than 30 rotated files are ever kept.
source "$(dirname "$0")/lib.sh"
[ "$QV_PLATFORM" = posix ] || skip "native only"
[ -x "$QV_BIN/Monitor" ] || skip "no Monitor built"
limit=${QV_SOAK_SECONDS:-50}   # upper bound of the run; it ends at 35 rotations
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
trap 'rm -rf "$tmp" "${QV_E2E_TMP:-}"' EXIT
app=$tmp/app log=$tmp/app/log save=$tmp/saved
mkdir -p "$app" "$log" "$save"
cp "$QV_BIN/Monitor" "$app/"
printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=1\r\nDeviceManager=1\r\n' > "$app/config.ini"
# An address that does not parse: the ping fails without sending anything.
printf '[Config]\r\nHardware=NOSUCH\\DEVICE_0000\r\nCount=1\r\n[Quorvanex_1]\r\nEnabled=1\r\nServer=not-an-address\r\n' > "$app/quorvanex.ini"
printf '[Config]\r\nMailSend=99\r\n' > "$app/mail.ini"
printf '[Config]\r\nPomvex=0\r\n' > "$app/message.ini"
cat > "$app/Ostrival.exe" <<MAILER
#!/bin/sh
echo call >> "$tmp/mailer-calls"
exit 1
MAILER
chmod +x "$app/Ostrival.exe"

# 153,600 bytes of filler: the Monitor's next append takes the file past the limit.
filler=$tmp/filler
python3 - "$filler" <<'PY'
import sys
line = b"#FILL" + b"x" * 93 + b"\r\n"          # 100 bytes
open(sys.argv[1], "wb").write(line * 1536)
PY

cp "$filler" "$log/log.txt"
mkfifo "$tmp/stdin"
(cd "$tmp" && exec "$app/Monitor" console < "$tmp/stdin" > "$tmp/out.txt" 2>&1) &
monitor=$!
trap 'kill $monitor 2>/dev/null; rm -rf "$tmp" "${QV_E2E_TMP:-}"' EXIT
exec 3>"$tmp/stdin"

started=$(date +%s)
alerted= alert_bytes=$(printf 'しきい値を超過' | iconv -f UTF-8 -t CP932)
touch "$tmp/mailer-calls"
max_rotated=0
rotations() { ls "$save" | wc -l; }
while :; do
  # Keep every rotated file before the pruning can delete it.
  for f in "$log"/*_log.txt; do
    [ -f "$f" ] && [ ! -e "$save/${f##*/}" ] && ln "$f" "$save/${f##*/}"
  done
  n=$(ls "$log" | grep -c '_log\.txt$')
  [ "$n" -gt "$max_rotated" ] && max_rotated=$n
  # Refill right after a rotation; ln never replaces a log.txt the Monitor made.
  if [ ! -e "$log/log.txt" ]; then
    cp "$filler" "$log/fill.tmp" && ln "$log/fill.tmp" "$log/log.txt" 2>/dev/null; rm -f "$log/fill.tmp"
  fi
  kill -0 $monitor 2>/dev/null || break
  elapsed=$(( $(date +%s) - started ))
  [ "$(rotations)" -ge 35 ] && break
  [ $elapsed -ge "$limit" ] && break
  if [ $elapsed -ge 8 ] && [ -z "$alerted" ]; then
    if grep -aqF "$alert_bytes" "$save"/* "$log/log.txt" 2>/dev/null; then alerted=1; else
      kill $monitor 2>/dev/null
      skip "the Monitor logged no alert within 8 s (check cycle or log writer not built yet)"
    fi
  fi
  sleep 0.02
done

check "Monitor ran the whole soak" kill -0 $monitor
echo >&3; exec 3>&-
wait_for "! kill -0 $monitor 2>/dev/null" 20 || { kill $monitor; fail "Monitor did not stop"; }
wait $monitor; rc=$?
check "Monitor exited with 0" test $rc -eq 0
for f in "$log"/*_log.txt; do [ -f "$f" ] && [ ! -e "$save/${f##*/}" ] && ln "$f" "$save/${f##*/}"; done
kept_at_end=$(ls "$log" | grep -c '_log\.txt$')

echo "rotations: $(rotations), most rotated files seen at once: $max_rotated, kept at the end: $kept_at_end, mails tried: $(wc -l < "$tmp/mailer-calls")"
check "more than 30 rotations" test "$(rotations)" -gt 30
# A rotation renames log.txt before it deletes the oldest file: a listing in
# between sees the 31st for that moment, never more.
check "at most 30 rotated files kept" test "$kept_at_end" -le 30
check "never more than one rotation's file over 30" test "$max_rotated" -le 31

# The Monitor's own lines, oldest first.
all=$tmp/all.txt
for f in $(ls "$save" | sort) ; do log_text "$save/$f"; done > "$all"
[ -f "$log/log.txt" ] && log_text "$log/log.txt" >> "$all"
grep -v '^#FILL' "$all" > "$tmp/lines.txt"
calls=$(wc -l < "$tmp/mailer-calls")
check "first line is the start" test "$(head -1 "$tmp/lines.txt" | cut -d'|' -f3)" = "開始"
check "last line is the stop" test "$(tail -1 "$tmp/lines.txt" | cut -d'|' -f3)" = "停止"
check "every line is whole" bash -c "! grep -vE '^[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\|-\\|' '$tmp/lines.txt'"
check "lines are in time order" env LC_ALL=C sort -c -s -t'|' -k1,1 "$tmp/lines.txt"
alerts=$(grep -c 'エラーしきい値を超過$' "$tmp/lines.txt")
mails=$(grep -c '|メール送信 失敗:' "$tmp/lines.txt")
check "one mail line per alert ($alerts)" test "$mails" -eq "$alerts"
if [ "$calls" -gt 0 ]; then
  check "one mail line per mailer run ($calls)" test "$mails" -eq "$calls"
else
  echo "note: this Monitor started no mailer; lines are checked against the alerts only"
fi
# A cycle a second: a longer silence means lost lines.
check "no gap in the lines" python3 - "$tmp/lines.txt" <<'PY'
import sys, datetime
stamps = [datetime.datetime.strptime(l[:19], "%Y/%m/%d %H:%M:%S") for l in open(sys.argv[1], encoding="utf-8")]
gaps = [(b - a).total_seconds() for a, b in zip(stamps, stamps[1:])]
sys.exit(0 if not gaps or max(gaps) <= 5 else 1)
PY
finish
