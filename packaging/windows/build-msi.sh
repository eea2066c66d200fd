#!/usr/bin/env bash
# Builds the Windows installer with wixl from the cross-compiled programs.
#   build-msi.sh [PROGRAM_DIR [OUTPUT.msi]]
# PROGRAM_DIR (default build/win64/stripped: the build's stripped copies,
# whose debug information is in build/win64/symbols/) holds all three
# programs, the mailer Ostrival.exe, quorvanexctl.exe, the installer's helper
# ServiceStopWait.exe and its custom actions QuorvanexSetup.dll;
# QV_MSI_ALLOW_PARTIAL=1 builds without a missing Configurator or Pomvex
# (for tests of the installer itself). QV_MSI_VERSION overrides the version.
# With QV_SIGN_PFX set, scripts/sign-windows.sh signs the programs and the
# DLL before they are packed and the MSI after (its other variables:
# QV_SIGN_PASSWORD_FILE or QV_SIGN_PASSWORD, QV_SIGN_TIMESTAMP_URL).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${1:-$root/build/win64/stripped}" && pwd)
version=${QV_MSI_VERSION:-$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")}
out=${2:-$root/build/win64/QuorvanexWatchdog-$version-x64.msi}

for tool in wixl msibuild msiinfo; do
  command -v $tool >/dev/null || { echo "build-msi: $tool is missing; scripts/setup.sh installs it" >&2; exit 1; }
done
# The public properties (quorvanex.wxs), passed on to the server side of an
# elevated installation only when they are listed as secure.
secure_properties=(SERVERS HARDWARE INTERVAL PING_THRESHOLD DEVICE_THRESHOLD MAILSEND METRICS_DIR)

for file in Monitor.exe Ostrival.exe quorvanexctl.exe ServiceStopWait.exe QuorvanexSetup.dll; do
  [ -f "$bin/$file" ] || { echo "build-msi: $bin/$file is missing" >&2; exit 1; }
done
defines=(-D "Version=$version")
for program in Configurator Pomvex; do
  if [ -f "$bin/$program.exe" ]; then
    defines+=(-D "Have$program=1")
  elif [ "${QV_MSI_ALLOW_PARTIAL:-0}" = 1 ]; then
    echo "build-msi: warning: $program.exe is missing, the package is built without it" >&2
    defines+=(-D "Have$program=0")
  else
    echo "build-msi: $bin/$program.exe is missing" >&2
    exit 1
  fi
done

# wixl takes the sources relative to the directory it runs in.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/defaults"
cp "$bin"/Monitor.exe "$bin"/Ostrival.exe "$bin"/quorvanexctl.exe "$bin"/ServiceStopWait.exe "$bin"/QuorvanexSetup.dll "$stage/"
for program in Configurator Pomvex; do
  [ -f "$bin/$program.exe" ] && cp "$bin/$program.exe" "$stage/"
done
cp "$root"/packaging/defaults/{config,quorvanex,mail,message}.ini "$stage/defaults/"
mkdir -p "$stage/examples/prometheus"
cp "$root"/packaging/prometheus/{prometheus,quorvanex-rules}.yml "$stage/examples/prometheus/"
# Debug information stays in the build tree, never in a package.
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
  for file in "$stage"/*.exe "$stage"/*.dll; do
    if x86_64-w64-mingw32-objdump -h "$file" | grep -q ' \.debug_info '; then
      echo "build-msi: $file holds debug information; build it with cmake, which moves that into symbols/" >&2
      exit 1
    fi
  done
fi
signing=${QV_SIGN_PFX:+1}
[ -z "$signing" ] || bash "$root/scripts/sign-windows.sh" "$stage"/*.exe "$stage"/*.dll

mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
(cd "$stage" && wixl -a x64 "${defines[@]}" -o "$out" "$root/packaging/windows/quorvanex.wxs")
# wixl writes SecureCustomProperties for MajorUpgrade's own properties and
# refuses a second row: the settings properties are added to that row.
secure=$(msiinfo export "$out" Property | tr -d '\r' | sed -n 's/^SecureCustomProperties\t//p')
[ -n "$secure" ] || { echo "build-msi: wixl wrote no SecureCustomProperties row" >&2; exit 1; }
secure+=$(printf ';%s' "${secure_properties[@]}")
msibuild "$out" -q "UPDATE \`Property\` SET \`Value\` = '$secure' WHERE \`Property\` = 'SecureCustomProperties'"
[ -z "$signing" ] || bash "$root/scripts/sign-windows.sh" "$out"
echo "build-msi: $out"
