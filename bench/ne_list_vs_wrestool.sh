#!/usr/bin/env bash
# Listing the icon groups of 16-bit NE modules against wrestool: each file
# given (by default the NE seeds of fuzz/corpus/fuzz_ne_module: built modules
# and two icon libraries) copied 200 times, then listed by one
# `vexillo-cli groups` and by one `wrestool -l -t14`, five rounds after a
# warm-up; prints the median times and their ratio.
# Usage: bench/ne_list_vs_wrestool.sh VEXILLO-CLI [NE-FILE...]
set -euo pipefail
cli=$1
shift
[ $# -gt 0 ] || set -- "$(dirname "$0")"/../fuzz/corpus/fuzz_ne_module/*
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/timing.sh"
copy_each 200 "$work" "$@"
prepare() { :; }
ours() { "$cli" groups "${copies[@]}"; }
theirs() { wrestool -l -t14 "${copies[@]}"; }
paired_medians
echo "${#copies[@]} NE files, $("$cli" groups "${copies[@]}" 2>/dev/null | wc -l) and" \
     "$(wrestool -l -t14 "${copies[@]}" 2>/dev/null | wc -l) groups:" \
     "vexillo-cli ${a} s, wrestool ${b} s, ratio $(echo "scale=3; $a / $b" | bc)"
