#!/usr/bin/env bash
# Pomvex.exe under Wine on the X display: one topmost warning box with the
# text and caption from the command line, closed with Enter; nothing at all
# with fewer than two arguments. Keeps a screenshot of the box.
source "$(dirname "$0")/lib.sh"
[ "$QV_PLATFORM" = win32 ] || skip "Pomvex is a Windows program"
[ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 || skip "no X display"
command -v xdotool >/dev/null || skip "xdotool missing"

pomvex=$QV_BIN/Pomvex.exe
probe=$QV_BIN/PomvexBoxProbe.exe
artifacts=${QV_ARTIFACTS:-$(dirname "$QV_BUILD")/artifacts}
# (not e2e_tmpdir: its EXIT trap fires as soon as the command substitution ends)
work=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
mkdir -p "$artifacts"

# Wine decodes the command line in the Unix locale's character set, and
# ja_JP.UTF-8 is not generated here (qv_wine would turn 注意 into 7-bit junk):
# a UTF-8 character set, Japanese for everything else.
pomvex_wine() { env LC_ALL= LANG=ja_JP.UTF-8 LC_CTYPE=C.UTF-8 wine "$@"; }
xdo() { LC_ALL=C.UTF-8 xdotool "$@" 2>/dev/null; }

# Starts Pomvex in the background; NAME.rc, NAME.out and NAME.err appear in $work.
start_pomvex() {  # name, arguments...
  local name=$1; shift
  ( timeout 120 env LC_ALL= LANG=ja_JP.UTF-8 LC_CTYPE=C.UTF-8 wine "$pomvex" "$@" \
      >"$work/$name.out" 2>"$work/$name.err" </dev/null
    echo $? >"$work/$name.rc" ) &
}
exit_code() { cat "$work/$1.rc" 2>/dev/null; }
box_window() { xdo search --onlyvisible --name "^$1\$" | head -1; }
describe() { pomvex_wine "$probe" "$1" | tr -d '\r'; }
has_line() { grep -qxF -- "$2" <<<"$1"; }
# There is no window manager: give the box the focus, then press Enter.
press_enter() { xdo windowfocus --sync "$1"; xdo key --window "$1" Return; }

cleanup() {  # a failed check must not leave a box up for the next test
  for w in $(xdo search --onlyvisible --class pomvex.exe); do press_enter "$w"; done
  rm -rf "$work"
}
trap cleanup EXIT

# Resources of the program itself.
res=$(pomvex_wine "$probe" --resources "$(program_path "$pomvex")" | tr -d '\r')
check "file version 2.0.0.0" has_line "$res" "file-version=2.0.0.0"
check "product version 2.0.0.0" has_line "$res" "product-version=2.0.0.0"
check "manifest runs as invoked" grep -q 'requestedExecutionLevel level="asInvoker"' <<<"$res"
check "manifest is DPI-aware" grep -q '<dpiAware[^>]*>true</dpiAware>' <<<"$res"

# Fewer than two arguments: no box (the program returns at once), no output.
for n in 0 1; do
  args=()
  [ $n -eq 1 ] && args=("only text")
  start_pomvex "none$n" "${args[@]}"
  wait_for "[ -s '$work/none$n.rc' ]" 60
  check "$n argument(s): exit code 0 without waiting for a box" [ "$(exit_code "none$n")" = 0 ]
  check "$n argument(s): no output" [ ! -s "$work/none$n.out" -a ! -s "$work/none$n.err" ]
done

# The box: text with a real line break, Japanese caption.
start_pomvex box $'line1\nline2' "注意"
wait_for '[ -n "$(box_window 注意)" ]' 60
wid=$(box_window 注意)
check "a window titled 注意 appears" [ -n "$wid" ]
if [ -n "$wid" ]; then
  info=$(describe "注意")
  echo "$info"
  check "exactly one box" has_line "$info" "boxes=1"
  check "the box is topmost" has_line "$info" "topmost=yes"
  check "the box has no owner" has_line "$info" "owner=none"
  check "one button (OK)" has_line "$info" "buttons=1"
  check "warning icon" has_line "$info" "icon=warning"
  check "the text keeps its line break" has_line "$info" 'text=line1\nline2'
  check "X keeps it above other windows" grep -q _NET_WM_STATE_ABOVE <<<"$(xprop -id "$wid" _NET_WM_STATE)"
  import -window root "$artifacts/pomvex.png" 2>/dev/null
  check "screenshot kept in $artifacts/pomvex.png" [ -s "$artifacts/pomvex.png" ]
  check "still waiting for the user" [ -z "$(exit_code box)" ]
  press_enter "$wid"
fi
wait_for "[ -s '$work/box.rc' ]" 30
check "Enter closes the box; exit code 0" [ "$(exit_code box)" = 0 ]
check "no output from the box run" [ ! -s "$work/box.out" -a ! -s "$work/box.err" ]

# Empty text, and a third argument that is ignored. Backslash sequences stay
# as typed. One box at a time, so Enter reaches the right one.
close_box() {  # name, caption
  local wid
  wid=$(box_window "$2")
  [ -n "$wid" ] && press_enter "$wid"
  wait_for "[ -s '$work/$1.rc' ]" 30
  check "$1: exit code 0" [ "$(exit_code "$1")" = 0 ]
}
start_pomvex empty "" "caption-empty"
wait_for '[ -n "$(box_window caption-empty)" ]' 60
check "empty text: a box with empty text" has_line "$(describe caption-empty)" "text="
close_box empty caption-empty

start_pomvex three 'a\nb' "caption-three" "third-argument"
wait_for '[ -n "$(box_window caption-three)" ]' 60
check "three arguments: text is argument 1" has_line "$(describe caption-three)" 'text=a\\nb'
check "three arguments: nothing titled after argument 3" [ -z "$(box_window third-argument)" ]
close_box three caption-three

finish
