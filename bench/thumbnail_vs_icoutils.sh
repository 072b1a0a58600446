#!/usr/bin/env bash
# The thumbnailer against the icoutils pipeline that thumbnailers built on
# them run (wrestool -x of the icon groups, then icotool -x of one image,
# which only copies the stored image out, unscaled), at size 128, two ways:
#   - all the modules of the folders that hold icons, one run per file, the
#     whole list five rounds after a warm-up: the median times and their
#     ratio (the few large modules weigh most);
#   - about 40 modules one by one, each timed five times after a warm-up
#     (those with icons first, then those without, which a file manager
#     asks about too): the sums of the modules' median times and their
#     ratio, and the median time a module, in which starting the processes
#     weighs most;
# and the thumbnailer's largest peak memory over those modules.
# Usage: bench/thumbnail_vs_icoutils.sh BUILD-FOLDER FOLDER...
# (Wine's modules from Debian's libwine: /usr/lib/x86_64-linux-gnu/wine/
# x86_64-windows and, with the 32-bit ones, i386-windows.)
set -euo pipefail
build=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/timing.sh"
mapfile -t all < <(find "$@" -maxdepth 1 -type f 2>/dev/null | sort) # a missing folder adds none
mapfile -t files < <("$build/vexillo-cli" groups "${all[@]}" 2>/dev/null | cut -f1 | sort -u)
[ ${#files[@]} -gt 0 ] || { echo "no module with icons in $*" >&2; exit 2; }

thumbnail() { "$build/vexillo-thumbnailer" -s 128 "$1" "$work/a.png" 2>/dev/null || true; }
pipeline() { wrestool -x -t14 "$1" > "$work/g.ico" 2>/dev/null && icotool -x -i 1 -o "$work/b.png" "$work/g.ico" 2>/dev/null; }
ours() { for f in "${files[@]}"; do thumbnail "$f"; done; }
theirs() { for f in "${files[@]}"; do pipeline "$f"; done; }
a_times=() b_times=()
for i in 1 2 3 4 5 6; do
    a=$(run ours)
    b=$(run theirs)
    if [ "$i" -gt 1 ]; then a_times+=("$a") b_times+=("$b"); fi
done
a=$(median "${a_times[@]}")
b=$(median "${b_times[@]}")
echo "${#files[@]} modules at 128: vexillo-thumbnailer ${a} s, wrestool + icotool ${b} s," \
     "ratio $(echo "scale=3; $a / $b" | bc)"

# About 40 modules, one process each.
singles=("${files[@]}")
for f in "${all[@]}"; do
    [ ${#singles[@]} -ge 40 ] && break
    printf '%s\n' "${files[@]}" | grep -qxF -- "$f" || singles+=("$f")
done
a_each=() b_each=() a_sum=0 b_sum=0 peak=0
for f in "${singles[@]}"; do
    a_times=() b_times=()
    for i in 1 2 3 4 5 6; do
        a=$(run thumbnail "$f")
        b=$(run pipeline "$f")
        if [ "$i" -gt 1 ]; then a_times+=("$a") b_times+=("$b"); fi
    done
    a=$(median "${a_times[@]}")
    b=$(median "${b_times[@]}")
    a_each+=("$a") b_each+=("$b")
    a_sum=$(echo "$a_sum + $a" | bc) b_sum=$(echo "$b_sum + $b" | bc)
    /usr/bin/time -o "$work/peak" -f '%M' "$build/vexillo-thumbnailer" -s 128 "$f" "$work/a.png" 2>/dev/null || true
    kib=$(tail -1 "$work/peak")
    if [ "$kib" -gt "$peak" ]; then peak=$kib; fi
done
ms() { echo "scale=1; $1 * 1000 / 1" | bc; }
echo "${#singles[@]} modules one by one at 128: vexillo-thumbnailer ${a_sum} s, wrestool + icotool ${b_sum} s," \
     "ratio $(echo "scale=3; $a_sum / $b_sum" | bc); a module $(ms "$(median "${a_each[@]}")") ms" \
     "and $(ms "$(median "${b_each[@]}")") ms; largest peak $((peak / 1024)) MiB"
