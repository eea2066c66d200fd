# Shared by the Configurator scripts: drive the dialog with xdotool, read it
# with the test-only probe, and handle the Wine service. Needs lib.sh; sets
# up $work and its clean-up.
[ "$QV_PLATFORM" = win32 ] || skip "the dialog is a Windows program"
[ -x "$QV_BIN/Configurator.exe" ] && [ -x "$QV_BIN/qv_dlgprobe.exe" ] || skip "Configurator.exe not built"
[ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 || skip "no X display"
work=$(e2e_tmpdir)
service=quorvanexdevicechecker

probe() { qv_wine "$QV_BIN/qv_dlgprobe.exe" "$@" 2>/dev/null | tr -d '\r'; }
field() { probe dump | sed -n "s/^$1=//p"; }
click_at() { [ $# -eq 2 ] && xdotool mousemove "$1" "$2" click 1; }
click_control() { local p; p=$(probe point "$1") && click_at $p; }
# Replaces the text of edit control $1 by $2, with real key presses.
retype() {
  click_control "$1"
  xdotool key --delay 20 End BackSpace BackSpace BackSpace BackSpace
  xdotool type --delay 20 "$2"
}
close_message() { xdotool key Return; wait_for '! probe message 0 >/dev/null' 5; }
now_ms() { date +%s%3N; }

configurator_pid=
start_configurator() {
  (cd "$work" && exec env LC_ALL=ja_JP.UTF-8 wine "$work/Configurator.exe" >/dev/null 2>&1) &
  configurator_pid=$!
  probe dump 20000 >/dev/null
}
configurator_ended() { wait_for "! kill -0 $configurator_pid 2>/dev/null" 10 && configurator_pid=; }

service_running() { qv_wine sc query $service 2>/dev/null | grep -q RUNNING; }
service_exists() { qv_wine sc query $service >/dev/null 2>&1; }
# Stopped first: the Service Control Manager only drops a service that no
# longer runs.
remove_service() {
  service_exists || return 0
  qv_wine sc stop $service >/dev/null 2>&1
  wait_for "qv_wine sc query $service | grep -q STOPPED" 15
  qv_wine sc delete $service >/dev/null 2>&1
  wait_for "! service_exists" 10
}
install_service() {  # program [arguments]
  local bin
  bin=$(program_path "$1"); shift
  [ $# -gt 0 ] && bin="$bin $*"
  qv_wine sc create $service binPath= "$bin" >/dev/null 2>&1
}
start_service() { qv_wine sc start $service >/dev/null 2>&1 && wait_for service_running 10; }

# Replaces lib.sh's EXIT trap, so it removes lib.sh's work directories too.
cleanup() {
  [ -n "$configurator_pid" ] && kill "$configurator_pid" 2>/dev/null
  remove_service
  rm -rf "$QV_E2E_TMP"
}

trap cleanup EXIT
