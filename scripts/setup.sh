#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12, as root), and only
# what is missing.
set -euo pipefail
need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in cmake g++ make googletest libgtest-dev libgmock-dev libbenchmark-dev mingw-w64 wine64 wine \
         xvfb xdotool imagemagick fonts-ipafont-gothic x11-utils iproute2 procps python3 locales iputils-ping \
         wixl msitools osslsigncode gdb dpkg-dev libcurl4-openssl-dev python3-aiosmtpd openssl file binutils \
         util-linux prometheus prometheus-node-exporter curl systemd-container ca-certificates hyperfine; do
  have_pkg "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# Wine takes its ANSI code page (932) from LC_ALL=ja_JP.UTF-8, and converts
# command-line arguments with it: the locale must really exist.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
