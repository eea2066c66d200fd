#!/usr/bin/env bash
# Builds a static libcurl for 64-bit Windows (mingw-w64, Schannel, SMTP only)
# from Debian's curl source package into build/curl-win64/prefix, once: a
# present library is kept. Needs root for the deb-src entry it may add.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work="$root/build/curl-win64"
prefix="$work/prefix"
jobs=${QV_JOBS:-$(nproc)}
[ -f "$prefix/lib/libcurl.a" ] && [ -f "$prefix/include/curl/curl.h" ] && exit 0

mkdir -p "$work"
exec 9>"$work/.lock"
flock 9
[ -f "$prefix/lib/libcurl.a" ] && exit 0

# `apt-get source` needs a deb-src entry: the same archives and keys as the
# deb entries already configured.
has_deb_src() {
  grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/
}
if ! has_deb_src; then
  echo "build-curl-win64: adding deb-src entries beside the deb ones"
  src=/etc/apt/sources.list.d/qv-deb-src.sources
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed -n '/^Types:.*\bdeb\b/,/^$/p' "$f" | sed -E 's/^Types:.*/Types: deb-src/'
    echo
  done > "$src.new"
  if [ -f /etc/apt/sources.list ]; then
    sed -nE 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list > /etc/apt/sources.list.d/qv-deb-src.list
  fi
  if grep -q '^Types: deb-src' "$src.new"; then mv "$src.new" "$src"; else rm -f "$src.new"; fi
  has_deb_src || { echo "build-curl-win64: found no deb entry to mirror" >&2; exit 1; }
  apt-get update -qq
fi

rm -rf "$work/src"
mkdir -p "$work/src"
fetch_source() { (cd "$work/src" && apt-get source -qq curl >/dev/null 2>"$work/source.log"); }
# An entry that was there before may not have its source lists fetched yet.
fetch_source || { apt-get update -qq && fetch_source; } || { cat "$work/source.log" >&2; exit 1; }
srcdir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'curl-*' | head -1)
[ -n "$srcdir" ] || { echo "build-curl-win64: no unpacked curl source" >&2; exit 1; }

# Only SMTP (HTTP stays: one of Debian's patches makes pingpong.c need it).
cd "$srcdir"
./configure --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix \
  --prefix="$prefix" --with-schannel --disable-shared --enable-static \
  --disable-ldap --disable-ldaps --disable-rtsp --disable-dict --disable-telnet --disable-tftp \
  --disable-pop3 --disable-imap --disable-gopher --disable-mqtt --disable-smb --disable-ftp \
  --disable-file --disable-manual --without-zlib --without-brotli --without-zstd --without-libpsl \
  --without-nghttp2 --without-libidn2 --without-libssh2 --without-librtmp \
  > "$work/configure.log" 2>&1 || { tail -30 "$work/configure.log" >&2; exit 1; }
make -C lib -j "$jobs" > "$work/make.log" 2>&1 || { tail -30 "$work/make.log" >&2; exit 1; }
make -C lib install > /dev/null
make -C include install > /dev/null
echo "build-curl-win64: $(grep -m1 LIBCURL_VERSION\  "$prefix/include/curl/curlver.h" | cut -d'"' -f2) in $prefix"
