# Shared by the quorvanexctl scripts (after lib.sh).
ctl_bin=$QV_BIN/quorvanexctl$QV_EXE
[ -f "$ctl_bin" ] || skip "quorvanexctl not built"

# quorvanexctl --dir $1 with the other arguments; its output as UTF-8 text
# without CR (a Windows program writes the console's code page 932 with CR LF
# into a pipe). Sets ctl_rc, ctl_out (standard output) and ctl_err.
ctl_in() {
  local dir=$1; shift
  run_program "$ctl_bin" --dir "$(program_path "$dir")" "$@" >"$QV_E2E_TMP/ctl.out" 2>"$QV_E2E_TMP/ctl.err"
  ctl_rc=$?
  ctl_out=$(ctl_text "$QV_E2E_TMP/ctl.out")
  ctl_err=$(ctl_text "$QV_E2E_TMP/ctl.err")
}
ctl_text() { if [ "$QV_PLATFORM" = win32 ]; then iconv -f CP932 -t UTF-8 "$1" | tr -d '\r'; else cat "$1"; fi; }

# A program folder in $1: the Monitor and an INI set (CRLF) with the
# device check on for $2 and the ping check off.
ctl_folder() {
  local dir=$1 hardware=${2:-QV\\NO\\SUCH\\DEVICE}
  mkdir -p "$dir"
  cp "$QV_BIN/Monitor$QV_EXE" "$dir/"
  printf '[Config]\r\nInterval=0\r\nLogDir=log\r\n[Threshold]\r\nPing=0\r\nDeviceManager=1\r\n' >"$dir/config.ini"
  printf '[Config]\r\nHardware=%s\r\nCount=0\r\n' "$hardware" >"$dir/quorvanex.ini"
  printf '[Config]\r\nMailSend=0\r\n' >"$dir/mail.ini"
  printf '[Config]\r\nPomvex=1\r\nBody_ping=screen ping\r\n' >"$dir/message.ini"
}
