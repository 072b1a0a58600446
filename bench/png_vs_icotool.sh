#!/usr/bin/env bash
# PNG output against icotool: every image of a folder of .ico files written
# as PNG files by `vexillo-cli extract --png` and by `icotool -x`, each run
# five times; prints the median times and their ratio.
# Usage: bench/png_vs_icotool.sh VEXILLO-CLI [FOLDER-OF-ICO-FILES]
# Without a folder, 40 icons of six sizes each (256 pixels stored as PNG,
# the rest as 32-bit bitmaps) are drawn with ImageMagick.
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=${2:-$work/icons}
if [ $# -lt 2 ]; then
    mkdir -p "$folder"
    for i in $(seq 1 40); do
        /usr/bin/convert -seed "$i" -size 256x256 plasma:fractal -alpha set -channel A -fx 'hypot(i-128,j-128)<120' \
            +channel -define icon:auto-resize=256,128,64,48,32,16 "$folder/icon$i.ico"
    done
fi
mapfile -t files < <(find "$folder" -maxdepth 1 -type f -iname '*.ico' | sort)
[ ${#files[@]} -gt 0 ] || { echo "no .ico files in $folder" >&2; exit 2; }

source "$(dirname "$0")/timing.sh"

prepare() { rm -rf "$work/a" "$work/b"; mkdir -p "$work/b"; }
ours() { "$cli" extract --png --out "$work/a" "${files[@]}"; }
theirs() { icotool -x -o "$work/b" "${files[@]}"; }
paired_medians
echo "${#files[@]} .ico files, $(find "$work/a" -name '*.png' | wc -l) and $(find "$work/b" -name '*.png' | wc -l) PNG files:" \
     "vexillo-cli ${a} s, icotool ${b} s, ratio $(echo "scale=2; $a / $b" | bc)"
