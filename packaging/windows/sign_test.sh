#!/usr/bin/env bash
# Signed Windows packages: with a throwaway CA and code-signing certificate,
# every program and DLL in the MSI and the zip and the MSI itself verify
# against that CA, a changed byte does not, and the signed MSI installs under
# Wine with its service running.
source "$(dirname "$0")/../../tests/e2e/lib.sh"
[ "$QV_PLATFORM" = win32 ] || skip "Windows packages only"
for tool in osslsigncode openssl wixl msiextract msiinfo; do
  command -v $tool >/dev/null || { fail "$tool is missing; scripts/setup.sh installs it"; finish; }
done
tmp=$(e2e_tmpdir)
cd "$tmp"

# The CA, a certificate for code signing issued by it, and its PFX.
quiet() { "$@" >>"$tmp/openssl.log" 2>&1 || { cat "$tmp/openssl.log"; fail "$*"; finish; }; }
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=Quorvanex Test CA" \
  -addext basicConstraints=critical,CA:true -addext keyUsage=critical,keyCertSign
quiet openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "/CN=Quorvanex Test Signer"
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
quiet openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile signer.ext -out signer.pem
printf 'two words\n' >password
quiet openssl pkcs12 -export -inkey signer.key -in signer.pem -out signer.pfx -passout file:password
export QV_SIGN_PFX=$tmp/signer.pfx QV_SIGN_PASSWORD_FILE=$tmp/password

verified() { osslsigncode verify -CAfile "$tmp/ca.pem" -in "$1" >"$tmp/verify.log" 2>&1 || { tail -3 "$tmp/verify.log"; return 1; }; }
QV_MSI_ALLOW_PARTIAL=1 bash "$QV_ROOT/packaging/windows/build-msi.sh" "$QV_BUILD/stripped" "$tmp/signed.msi" \
  >build.log 2>&1 || { cat build.log; fail "signed build-msi"; finish; }
check "the MSI verifies" verified signed.msi
mkdir files
msiextract -C files signed.msi >/dev/null
msiinfo extract signed.msi Binary.SetupDll >files/QuorvanexSetup.dll
mapfile -t programs < <(find files -name '*.exe' -o -name '*.dll')
check "the MSI holds Monitor.exe and the setup DLL" eval '[[ "${programs[*]}" == *Monitor.exe* && ${#programs[@]} -ge 4 ]]'
for file in "${programs[@]}"; do check "${file##*/} in the MSI verifies" verified "$file"; done

cpack -G ZIP --config "$QV_BUILD/CPackConfig.cmake" -B "$tmp/zip" >cpack.log 2>&1 || { cat cpack.log; fail "signed cpack"; }
mkdir unzipped
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' zip/*.zip unzipped
for file in $(find unzipped -name '*.exe'); do check "${file##*/} in the zip verifies" verified "$file"; done

cp "$(find files -name Monitor.exe)" changed.exe
python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read()); b[len(b) // 3] ^= 0xff
open(sys.argv[1], "wb").write(b)' changed.exe
check "a changed byte fails the verification" eval '! verified changed.exe >/dev/null'
# A time-stamp server that does not answer fails the signing.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cp "$QV_BUILD/stripped/Pomvex.exe" stamped.exe
check "an unreachable time-stamp server fails the signing" \
  eval '! bash "$QV_ROOT/scripts/sign-windows.sh" -t "http://127.0.0.1:$port" stamped.exe 2>/dev/null'

# The signed MSI installs and its service runs.
service=quorvanexdevicechecker
state() { qv_wine sc query $service 2>/dev/null | tr -d '\r' | sed -n 's/.*STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'; }
msiexec_run() { qv_wine msiexec "$1" "$(program_path "$tmp/signed.msi")" /qn </dev/null >/dev/null 2>&1; }
dir="$WINEPREFIX/drive_c/Program Files/Quorvanex"
trap 'msiexec_run /x; rm -rf "$dir" "$QV_E2E_TMP"' EXIT
check "the signed MSI installs" msiexec_run /i
check "its service runs" wait_for '[ "$(state)" = RUNNING ]' 10
check "the installed Monitor.exe verifies" verified "$dir/Monitor.exe"
finish
