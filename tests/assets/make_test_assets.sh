#!/usr/bin/env bash
# Makes the ICO files the tests read, written by other programs: ImageMagick
# (called by full path, another "convert" may stand earlier on PATH) and
# icoutils' icotool. Usage: make_test_assets.sh OUTDIR
set -euo pipefail
out=$1
IM=/usr/bin/convert
mkdir -p "$out"
cd "$out"
[ -f .done ] && exit 0

# Source pictures: a disc with soft edges, a hard-edged disc, a noisy square.
$IM -size 48x48 radial-gradient:yellow-navy -alpha set -channel A \
    -fx 'hypot(i-23.5,j-23.5)<19?1:(hypot(i-23.5,j-23.5)<23?0.5:0)' +channel -depth 8 PNG32:soft48.png
$IM soft48.png -resize 32x32 -channel A -threshold 50% +channel PNG32:hard32.png
$IM -seed 7 -size 256x256 plasma:fractal -alpha set -channel A -fx 'j<40?0:(j<60?0.4:1)' +channel -depth 8 PNG32:big256.png
$IM -seed 3 -size 16x16 plasma:fractal -depth 8 PNG24:opaque16.png

# ImageMagick's own ICO writer: 32-bit images, and a 256-pixel PNG entry.
$IM soft48.png -define icon:auto-resize=48,32,16 im_multi32.ico
$IM big256.png -define icon:auto-resize=256,48 im_png256.ico

# icotool: palette images at 1, 4 and 8 bits, 24 and 32 bits, a PNG entry.
$IM hard32.png -colors 2 PNG8:q1.png
$IM hard32.png -colors 16 PNG8:q4.png
$IM hard32.png -colors 200 PNG8:q8.png
$IM hard32.png -background black -alpha remove -alpha off -monochrome PNG8:mono.png
icotool -c -b 1 -o ico_1bit.ico q1.png
icotool -c -b 1 -o ico_mono.ico mono.png
icotool -c -b 4 -o ico_4bit.ico q4.png
icotool -c -b 8 -o ico_8bit.ico q8.png
icotool -c -b 24 -o ico_24bit.ico hard32.png
icotool -c -b 32 -o ico_32bit.ico soft48.png
icotool -c -r big256.png -o ico_png256.ico
icotool -c -b 32 -o ico_mixed.ico soft48.png -b 8 q8.png -b 4 opaque16.png -r big256.png

touch .done
