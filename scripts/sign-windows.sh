#!/usr/bin/env bash
# Signs Windows programs, DLLs and MSI packages in place with osslsigncode
# (Authenticode, SHA-256), with the administrator's PKCS#12 (.pfx) file.
#   sign-windows.sh [-p FILE.pfx] [-t URL] FILE...
# -p (or QV_SIGN_PFX): the certificate and its private key.
# The PFX's password: the file QV_SIGN_PASSWORD_FILE (its first line), or the
# variable QV_SIGN_PASSWORD (may be empty). It is never taken from the command
# line, where process lists and shell histories would show it.
# -t (or QV_SIGN_TIMESTAMP_URL): an RFC 3161 time-stamp server, so that the
# signature stays valid after the certificate expires; none by default.
set -euo pipefail
pfx=${QV_SIGN_PFX:-}
timestamp=${QV_SIGN_TIMESTAMP_URL:-}
usage() { echo "usage: sign-windows.sh [-p FILE.pfx] [-t TIMESTAMP_URL] FILE..." >&2; exit 2; }
while getopts p:t: opt; do
  case $opt in
    p) pfx=$OPTARG ;;
    t) timestamp=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || usage
die() { echo "sign-windows: $*" >&2; exit 1; }

command -v osslsigncode >/dev/null || die "osslsigncode is missing; scripts/setup.sh installs it"
[ -n "$pfx" ] || die "no certificate: give -p FILE.pfx or QV_SIGN_PFX"
[ -r "$pfx" ] || die "cannot read the certificate $pfx"
if [ -n "${QV_SIGN_PASSWORD_FILE:-}" ]; then
  [ -r "$QV_SIGN_PASSWORD_FILE" ] || die "cannot read the password file $QV_SIGN_PASSWORD_FILE"
  password_file() { head -n 1 "$QV_SIGN_PASSWORD_FILE" | tr -d '\r\n'; }
elif [ -n "${QV_SIGN_PASSWORD+set}" ]; then
  password_file() { printf '%s' "$QV_SIGN_PASSWORD"; }
else
  die "no password: set QV_SIGN_PASSWORD_FILE (a file) or QV_SIGN_PASSWORD"
fi

options=(-pkcs12 "$pfx" -h sha256 -n "Quorvanex Device Checker")
[ -z "$timestamp" ] || options+=(-ts "$timestamp")
for file in "$@"; do
  [ -f "$file" ] || die "$file is missing"
  signed="$file.signing"
  rm -f "$signed"
  # The password reaches osslsigncode through a pipe, not its arguments.
  if ! osslsigncode sign "${options[@]}" -readpass <(password_file) -in "$file" -out "$signed" >"$signed.log" 2>&1; then
    sed 's/^/  /' "$signed.log" >&2
    rm -f "$signed" "$signed.log"
    die "signing $file failed"
  fi
  rm -f "$signed.log"
  mv -f "$signed" "$file"
  echo "sign-windows: signed $file"
done
