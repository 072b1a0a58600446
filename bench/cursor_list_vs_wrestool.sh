#!/usr/bin/env bash
# Listing the cursor groups of modules against wrestool: each module given
# (by default Wine's user32.dll, comctl32.dll and ole32.dll from Debian's
# libwine) copied 50 times, then listed by one `vexillo-cli groups --cursors`
# and by one `wrestool -l -t12`, five rounds after a warm-up; prints the
# median times and their ratio. (vexillo-cli lists the icon groups too.)
# Usage: bench/cursor_list_vs_wrestool.sh VEXILLO-CLI [MODULE...]
set -euo pipefail
cli=$1
shift
wine=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
[ $# -gt 0 ] || set -- "$wine/user32.dll" "$wine/comctl32.dll" "$wine/ole32.dll"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/timing.sh"
copy_each 50 "$work" "$@"
prepare() { :; }
ours() { "$cli" groups --cursors "${copies[@]}"; }
theirs() { wrestool -l -t12 "${copies[@]}"; }
paired_medians
echo "${#copies[@]} modules, $("$cli" groups --cursors "${copies[@]}" 2>/dev/null | grep -c $'\tcursor$') and" \
     "$(wrestool -l -t12 "${copies[@]}" 2>/dev/null | wc -l) cursor groups:" \
     "vexillo-cli ${a} s, wrestool ${b} s, ratio $(echo "scale=3; $a / $b" | bc)"
