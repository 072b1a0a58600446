#!/usr/bin/env bash
# Builds the resource-only modules that pemodule_test and cli_test read: icons
# written by ImageMagick (called by full path, another "convert" may stand
# earlier on PATH) and a cursor by icotool, compiled by windres and linked by
# ld, once as PE32+ (x86_64) and once as PE32 (i686). Usage: build_modules.sh
# OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$1
IM=/usr/bin/convert
mkdir -p "$out"
cd "$out"

$IM -size 48x48 xc:red -define icon:auto-resize=48,32,16 a.ico
$IM -size 32x32 gradient:navy-white -define icon:auto-resize=32,16 b.ico
$IM -seed 5 -size 24x24 plasma:fractal -define icon:auto-resize=24 c.ico
$IM -size 48x48 radial-gradient:yellow-navy PNG32:t48.png
$IM t48.png -resize 32x32 PNG32:t32.png
icotool -c --cursor --hotspot-x=3 --hotspot-y=5 -b 32 -o t.cur t32.png t48.png
cp "$here/icons.rc" "$here/langs.rc" "$here/cursors.rc" "$here/names.rc" .

for arch in x86_64 i686; do
    for rc in icons langs cursors names; do
        "$arch-w64-mingw32-windres" --preprocessor=cpp -l 0 -i "$rc.rc" -o "$rc-$arch.o"
        "$arch-w64-mingw32-ld" -shared -o "$rc-$arch.dll" "$rc-$arch.o"
    done
done
