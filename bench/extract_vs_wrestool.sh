#!/usr/bin/env bash
# Icon extraction against wrestool: every icon group of the modules of a
# folder written as .ico files by `vexillo-cli extract` (which also searches
# the folder) and by `wrestool -x -t14` (given the files), each run five
# times after a warm-up; prints the median times and their ratio.
# Usage: bench/extract_vs_wrestool.sh VEXILLO-CLI FOLDER
# (Wine's modules, /usr/lib/x86_64-linux-gnu/wine/x86_64-windows from
# Debian's libwine, are a good folder.)
set -euo pipefail
cli=$1
folder=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t files < <(find "$folder" -maxdepth 1 -type f | sort)

source "$(dirname "$0")/timing.sh"

prepare() { rm -rf "$work/a" "$work/b"; mkdir -p "$work/b"; }
ours() { "$cli" extract "$folder" --out "$work/a"; }
theirs() { wrestool -x -t14 -o "$work/b" "${files[@]}"; }
paired_medians
echo "${#files[@]} files, $(find "$work/a" -name '*.ico' | wc -l) and $(find "$work/b" -name '*.ico' | wc -l) icons:" \
     "vexillo-cli ${a} s, wrestool ${b} s, ratio $(echo "scale=3; $a / $b" | bc)"
