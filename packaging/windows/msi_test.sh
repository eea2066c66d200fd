#!/usr/bin/env bash
# The Windows packages under Wine: the zip holds the programs and the example
# INI files; the MSI installs into Program Files, registers and starts the
# service, keeps an administrator's INI files on upgrade and on removal, and
# removes programs and service.
source "$(dirname "$0")/../../tests/e2e/lib.sh"
[ "$QV_PLATFORM" = win32 ] || skip "Windows packages only"
command -v wixl >/dev/null || { echo "FAIL: wixl is missing; scripts/setup.sh installs it"; exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/qv-e2e.XXXXXX")
trap 'rm -rf "$tmp" "${QV_E2E_TMP:-}"' EXIT

# --- zip ---------------------------------------------------------------------
if cpack -G ZIP --config "$QV_BUILD/CPackConfig.cmake" -B "$tmp/zip" >"$tmp/cpack.log" 2>&1; then
  zip=$(ls "$tmp"/zip/*.zip)
  listing=$(python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
  for f in Monitor.exe config.ini quorvanex.ini mail.ini message.ini; do
    check "zip holds $f" grep -q "/$f\$" <<<"$listing"
  done
  # The other two programs wherever this build has them.
  for f in Configurator.exe Pomvex.exe; do
    if grep -q "/$f\"" "$QV_BUILD/cmake_install.cmake"; then check "zip holds $f" grep -q "/$f\$" <<<"$listing"; fi
  done
else
  cat "$tmp/cpack.log"; fail "cpack -G ZIP"
fi

# --- MSI ---------------------------------------------------------------------
# The installer starts the service and waits for it; a Monitor.exe without
# its service entry cannot be installed that way.
grep -aq StartServiceCtrlDispatcherW "$QV_BIN/Monitor.exe" ||
  { echo "zip checks done"; [ $e2e_failures -eq 0 ] || finish; skip "Monitor.exe has no service entry yet"; }

export QV_MSI_ALLOW_PARTIAL=1
build() {  # version, output
  QV_MSI_VERSION=$1 bash "$QV_ROOT/packaging/windows/build-msi.sh" "$QV_BIN" "$2" >"$tmp/wixl-$1.log" 2>&1 ||
    { cat "$tmp/wixl-$1.log"; fail "wixl $1"; finish; }
}
build 2.0.0 "$tmp/old.msi"
build 2.0.1 "$tmp/new.msi"

dir="$WINEPREFIX/drive_c/Program Files/Quorvanex"
service=quorvanexdevicechecker
state() { qv_wine sc query $service 2>/dev/null | tr -d '\r' | sed -n 's/.*STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'; }
msi() {  # /i or /x, package; shows the end of the installer's log on failure
  qv_wine msiexec "$1" "$(program_path "$2")" /qn /l*v "$(program_path "$tmp/msi.log")" </dev/null >"$tmp/msiexec.out" 2>&1
  local rc=$?
  [ $rc -eq 0 ] || { echo "msiexec $1 ${2##*/}: exit $rc"; grep -a err: "$tmp/msiexec.out" | tail -5
                     iconv -f CP932 -t UTF-8 -c "$tmp/msi.log" | grep -v '^Property' | tail -15; }
  return $rc
}
cleanup() {
  msi /x "$tmp/new.msi"; msi /x "$tmp/old.msi"
  cleanup_service; rm -rf "$dir" "$tmp" "${QV_E2E_TMP:-}"
}
trap cleanup EXIT
cleanup_service() { qv_wine sc stop $service >/dev/null 2>&1; qv_wine sc delete $service >/dev/null 2>&1; }
cleanup_service; rm -rf "$dir"

check "msiexec /i installs" msi /i "$tmp/old.msi"
for f in Monitor.exe config.ini quorvanex.ini mail.ini message.ini examples/config.ini \
         examples/prometheus/prometheus.yml examples/prometheus/quorvanex-rules.yml; do
  check "installed $f" test -f "$dir/$f"
done
check "service is running" wait_for '[ "$(state)" = RUNNING ]' 10
check "service writes its log" wait_for 'grep -aqF "$(printf "サービス開始" | iconv -f UTF-8 -t CP932)" "$dir/log/log.txt" 2>/dev/null' 10

# The administrator's settings survive an upgrade.
printf '; kept by the administrator\r\n' >> "$dir/config.ini"
rm "$dir/message.ini"
check "msiexec /i of a newer version upgrades" msi /i "$tmp/new.msi"
check "upgrade keeps an edited config.ini" grep -q "kept by the administrator" "$dir/config.ini"
check "upgrade restores a missing message.ini" cmp -s "$dir/message.ini" "$QV_ROOT/examples/message.ini"
check "service runs after the upgrade" wait_for '[ "$(state)" = RUNNING ]' 10

check "msiexec /x removes" msi /x "$tmp/new.msi"
service_absent() { ! qv_wine sc query $service >/dev/null 2>&1; }
check "service is removed" service_absent
for f in Monitor.exe examples/config.ini; do check "removed $f" test ! -e "$dir/$f"; done
for f in config.ini quorvanex.ini mail.ini message.ini; do check "kept $f" test -f "$dir/$f"; done
check "kept the edit in config.ini" grep -q "kept by the administrator" "$dir/config.ini"
finish
