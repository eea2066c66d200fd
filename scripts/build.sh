#!/usr/bin/env bash
# Configures and builds both platforms: build/native and build/win64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${QV_JOBS:-$(nproc)}
# QV_WERROR=1 (CI sets it) turns every compiler warning into an error.
werror=-DQV_WERROR=$([ "${QV_WERROR:-0}" = 1 ] && echo ON || echo OFF)
cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$werror" >/dev/null
cmake --build "$root/build/native" -j "$jobs"
if [ "${QV_NATIVE_ONLY:-0}" != 1 ]; then
  # The Windows mailer links a libcurl built once from Debian's source.
  QV_JOBS=$jobs "$root/scripts/build-curl-win64.sh"
  cmake -S "$root" -B "$root/build/win64" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$werror" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/build/win64" -j "$jobs"
fi
