# Sourced by every script that runs Windows binaries under Wine.
# One private prefix inside the build tree, created once and reused.
QV_ROOT=${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$QV_ROOT/build/win64/wineprefix}
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Code page 932 for CP_ACP and for INI files without a BOM, as on Japanese Windows.
# scripts/setup.sh generates the locale (Wine converts arguments with it); it is
# passed through env so scripts keep their own locale.
qv_wine() { env LC_ALL=ja_JP.UTF-8 wine "$@"; }
qv_wineserver() { env LC_ALL=ja_JP.UTF-8 wineserver "$@"; }

qv_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
      flock 9
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        env LC_ALL=ja_JP.UTF-8 wineboot -i >/dev/null 2>&1 || true
        qv_dialog_font
        # Before anyone starts the persistent server: this one must be gone.
        wineserver -w
      fi
    ) 9>"$(dirname "$WINEPREFIX")/.wineprefix.lock"
  fi
  # A prefix made before the font rule. No wait for the server here: a
  # persistent one never ends; it writes the registry out by itself.
  grep -q '"MS UI Gothic"="IPAPGothic"' "$WINEPREFIX/system.reg" 2>/dev/null || qv_dialog_font
}

# Japanese dialog font for the GUI programs: the proportional face, as
# "MS UI Gothic" is one (the monospaced IPAGothic clips the longer labels).
qv_dialog_font() {
  qv_wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'MS UI Gothic' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1 || true
}

# One persistent server for a run of many Wine programs. A server that some
# one-off command started ends at the first pause with no Wine program, and
# takes the service manager and every service with it: a program starting
# meanwhile loses its connection, and the next server's service manager
# starts the installed services anew. Such a server is ended first (it
# writes the registry out as it goes). With DISPLAY set, the new server's
# first program holds Wine's desktop on that display for the whole run.
qv_persistent_wineserver() {
  qv_wineserver -k >/dev/null 2>&1
  qv_wineserver -w
  qv_wineserver -p || return 1
  [ -z "${DISPLAY:-}" ] || qv_wine_desktop
}

# Wine's desktop process starts with the first program that needs the desktop
# and ends a second after the last one has left it. Like every process Wine
# starts in the background, it keeps the standard error of the program that
# started it: a test that starts it keeps CTest waiting on its output for as
# long as other tests keep the desktop in use (a dialog open for minutes).
# So one program holds the desktop for the whole run, started with nothing
# attached. It must be the server's first: a desktop that some program started
# without the display would stay without it.
qv_wine_desktop() {
  local hold=$QV_ROOT/build/win64/bin/qv_desktophold.exe ready
  xdpyinfo >/dev/null 2>&1 && [ -f "$hold" ] && ready=$(mktemp) || return 1
  env LC_ALL=ja_JP.UTF-8 wine "$hold" </dev/null >"$ready" 2>/dev/null &
  for _ in $(seq 600); do
    grep -q ready "$ready" && break
    sleep 0.1
  done
  grep -q ready "$ready"
  local held=$?
  rm -f "$ready"
  return $held
}
