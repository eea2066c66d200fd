#!/usr/bin/env bash
# Builds the Windows installer with wixl from the cross-compiled programs.
#   build-msi.sh [BIN_DIR [OUTPUT.msi]]
# BIN_DIR defaults to build/win64/bin. All three programs, the mailer Ostrival.exe, the installer's
# helper ServiceStopWait.exe and its custom actions QuorvanexSetup.dll must be there;
# QV_MSI_ALLOW_PARTIAL=1 builds without a missing Configurator or Pomvex
# (for tests of the installer itself). QV_MSI_VERSION overrides the version.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${1:-$root/build/win64/bin}" && pwd)
version=${QV_MSI_VERSION:-$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")}
out=${2:-$root/build/win64/QuorvanexWatchdog-$version-x64.msi}

command -v wixl >/dev/null || { echo "build-msi: wixl is missing; scripts/setup.sh installs it" >&2; exit 1; }

for file in Monitor.exe Ostrival.exe ServiceStopWait.exe QuorvanexSetup.dll; do
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
cp "$bin"/Monitor.exe "$bin"/Ostrival.exe "$bin"/ServiceStopWait.exe "$bin"/QuorvanexSetup.dll "$stage/"
for program in Configurator Pomvex; do
  [ -f "$bin/$program.exe" ] && cp "$bin/$program.exe" "$stage/"
done
cp "$root"/packaging/defaults/{config,quorvanex,mail,message}.ini "$stage/defaults/"
mkdir -p "$stage/examples/prometheus"
cp "$root"/packaging/prometheus/{prometheus,quorvanex-rules}.yml "$stage/examples/prometheus/"
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
(cd "$stage" && wixl -a x64 "${defines[@]}" -o "$out" "$root/packaging/windows/quorvanex.wxs")
echo "build-msi: $out"
