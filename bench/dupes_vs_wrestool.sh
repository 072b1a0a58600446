#!/usr/bin/env bash
# Finding duplicate icons against wrestool and sha256sum: the sets of icon
# groups whose saved files are identical, by `vexillo-cli dupes` over the
# folders (which also searches them), and by `wrestool -x -t14` of every
# group of the folders' files as .ico files followed by `sha256sum` of those
# files sorted by digest, each run five times after a warm-up; prints the
# median times and their ratio.
# Usage: bench/dupes_vs_wrestool.sh VEXILLO-CLI FOLDER...
# (Wine's modules from Debian's libwine: /usr/lib/x86_64-linux-gnu/wine/
# x86_64-windows, and the 32-bit ones that scripts/fetch-wine32.sh unpacks.)
set -euo pipefail
cli=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t files < <(find "$@" -maxdepth 1 -type f 2>/dev/null | sort) # a missing folder adds none
mapfile -t folders < <(for f in "$@"; do [ -d "$f" ] && echo "$f"; done)
[ ${#files[@]} -gt 0 ] || { echo "no files in $*" >&2; exit 2; }

source "$(dirname "$0")/timing.sh"

prepare() { rm -rf "$work/b"; mkdir -p "$work/b"; }
ours() { "$cli" dupes "${folders[@]}"; }
# Each folder's files to a folder of their own: two trees hold modules of
# the same names.
theirs() {
    local k=0 folder
    for folder in "${folders[@]}"; do
        mkdir -p "$work/b/$((k += 1))"
        find "$folder" -maxdepth 1 -type f -print0 | xargs -0 wrestool -x -t14 -o "$work/b/$k"
    done
    find "$work/b" -name '*.ico' -print0 | xargs -0 sha256sum | sort | uniq -w64 --all-repeated=separate
}
paired_medians
echo "${#files[@]} files, $("$cli" dupes "${folders[@]}" 2>/dev/null | wc -l) sets of duplicates:" \
     "vexillo-cli ${a} s, wrestool and sha256sum ${b} s, ratio $(echo "scale=3; $a / $b" | bc)"
