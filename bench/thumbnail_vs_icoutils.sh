#!/usr/bin/env bash
# The thumbnailer against the icoutils pipeline that thumbnailers built on
# them run (wrestool -x of the icon groups, then icotool -x of one image,
# which only copies the stored image out, unscaled): one run per file over
# the modules of a folder that hold icons, at size 128, five rounds after a
# warm-up; prints the median times, their ratio, and the thumbnailer's
# largest peak memory.
# Usage: bench/thumbnail_vs_icoutils.sh BUILD-FOLDER FOLDER
set -euo pipefail
build=$1
folder=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/timing.sh"
mapfile -t files < <("$build/vexillo-cli" groups "$folder"/* 2>/dev/null | cut -f1 | sort -u)
[ ${#files[@]} -gt 0 ] || { echo "no module with icons in $folder" >&2; exit 2; }

ours() { for f in "${files[@]}"; do "$build/vexillo-thumbnailer" -s 128 "$f" "$work/a.png" 2>/dev/null || true; done; }
theirs() {
    for f in "${files[@]}"; do
        wrestool -x -t14 "$f" > "$work/g.ico" 2>/dev/null && icotool -x -i 1 -o "$work/b.png" "$work/g.ico" 2>/dev/null
    done
}
a_times=() b_times=()
for i in 1 2 3 4 5 6; do
    a=$(run ours)
    b=$(run theirs)
    if [ "$i" -gt 1 ]; then a_times+=("$a") b_times+=("$b"); fi
done
peak=0
for f in "${files[@]}"; do
    /usr/bin/time -o "$work/peak" -f '%M' "$build/vexillo-thumbnailer" -s 128 "$f" "$work/a.png" 2>/dev/null || true
    kib=$(tail -1 "$work/peak")
    if [ "$kib" -gt "$peak" ]; then peak=$kib; fi
done
a=$(median "${a_times[@]}")
b=$(median "${b_times[@]}")
echo "${#files[@]} modules at 128: vexillo-thumbnailer ${a} s, wrestool + icotool ${b} s," \
     "ratio $(echo "scale=3; $a / $b" | bc), largest peak $((peak / 1024)) MiB"
