#!/usr/bin/env bash
# Configurator.exe's layout where Japanese Windows has it right: the longest
# label fits in the dialog font (MS UI Gothic is proportional, so the test
# fonts substitute the proportional IPAPGothic), and the server list's column
# widths follow the display DPI (the program declares itself DPI-aware).
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/configurator_lib.sh"
artefacts=$QV_BUILD/e2e-artifacts
mkdir -p "$artefacts"
cp "$QV_BIN/Configurator.exe" "$work/"
printf '[Config]\r\nCount=1\r\n[Quorvanex_1]\r\nServer=127.0.0.1\r\nDisplay=first\r\n' >"$work/quorvanex.ini"
printf '[Config]\r\nMailSend=1\r\n' >"$work/mail.ini"

desktop='HKCU\Control Panel\Desktop'
dpi_before=$(qv_wine reg query "$desktop" /v LogPixels 2>/dev/null | tr -d '\r' | awk '/LogPixels/ {print $3}')
set_dpi() {  # value, or nothing to remove the key
  if [ -n "${1:-}" ]; then
    qv_wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  else
    qv_wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1
  fi
}
# Other GUI tests must find the DPI as it was, whatever happens here.
trap 'set_dpi "$([ -n "$dpi_before" ] && printf "%d" "$dpi_before")"; cleanup' EXIT
close_configurator() { probe syscommand 61536 >/dev/null; configurator_ended; }

set_dpi 96
check "dialog opens at 96 DPI" start_configurator
label=デバイスマネージャーエラーしきい値
fit=$(probe textfit "$label")
needed=$(sed -n 's/^needed=//p' <<<"$fit")
width=$(sed -n 's/^width=//p' <<<"$fit")
check "$label fits its label (${needed:-?} of ${width:-?} px)" [ "${needed:-99999}" -le "${width:-0}" ]
import -window root "$artefacts/configurator-96dpi.png" 2>/dev/null
check "columns at 96 DPI: 25, 150, 150" \
  diff <(printf 'dpi=96\nwidth0=25\nwidth1=150\nwidth2=150\n') <(probe widths)
check "closes" close_configurator

set_dpi 144
check "dialog opens at 144 DPI" start_configurator
import -window root "$artefacts/configurator-144dpi.png" 2>/dev/null
check "columns at 144 DPI: one and a half times as wide" \
  diff <(printf 'dpi=144\nwidth0=38\nwidth1=225\nwidth2=225\n') <(probe widths)
check "closes" close_configurator
finish
