#!/usr/bin/env bash
# Draws the program's own icon (a pennant on a pole) with ImageMagick and
# writes assets/vexillo.png (256 pixels) and assets/vexillo.ico (256, 48, 32
# and 16 pixels). Run by hand when the picture changes; the results are
# kept in the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
IM=/usr/bin/convert
$IM -size 256x256 xc:none \
  -fill '#5b3a1e' -draw 'roundrectangle 40,20 56,240 6,6' \
  -fill '#e8b23a' -draw 'circle 48,22 48,10' \
  -fill '#c62828' -draw 'path "M 56,36 C 110,20 150,60 226,44 L 226,140 C 150,156 110,116 56,132 Z"' \
  -fill '#ffffff' -draw 'path "M 56,68 C 110,52 150,92 226,76 L 226,100 C 150,116 110,76 56,92 Z"' \
  -fill '#1e4fa0' -draw 'circle 120,84 120,64' \
  -depth 8 PNG32:assets/vexillo.png
$IM assets/vexillo.png -define icon:auto-resize=256,48,32,16 assets/vexillo.ico
