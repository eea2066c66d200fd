#!/usr/bin/env bash
# Regenerates Configurator.ico (13 images, 16x16 to 256x256) with ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp --suffix=.png)
trap 'rm -f "$tmp"' EXIT
convert -size 256x256 xc:none -fill '#1f5fa8' -draw 'roundrectangle 8,8 247,247 40,40' \
  -fill none -stroke white -strokewidth 22 -draw 'circle 128,120 128,50' \
  -stroke '#5fd35f' -strokewidth 26 -draw 'polyline 78,124 114,162 184,86' \
  -stroke white -strokewidth 22 -draw 'line 168,168 214,214' "$tmp"
convert "$tmp" -define icon:auto-resize=256,128,96,80,72,64,60,48,40,32,24,20,16 Configurator.ico
