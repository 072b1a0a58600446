#!/usr/bin/env bash
# The thumbnailer against the icoutils pipeline that thumbnailers built on
# them run (wrestool -x of the icon groups, then icotool -x of one image,
# which only copies the stored image out, unscaled): one run per file at
# size 128, over two lists, each five rounds after a warm-up:
#   - the modules of the folders that hold icons (the few large ones weigh
#     most);
#   - about 40 modules: those with icons, then those without, which a file
#     manager asks about too (starting the processes weighs most).
# Prints for each the median times and their ratio, the same of the
# processor time (user and system), which a busy machine changes less, and
# then the thumbnailer's largest peak memory over the second list.
# Usage: bench/thumbnail_vs_icoutils.sh BUILD-FOLDER FOLDER...
# (Wine's modules from Debian's libwine: /usr/lib/x86_64-linux-gnu/wine/
# x86_64-windows, and the 32-bit ones that scripts/fetch-wine32.sh unpacks.)
set -euo pipefail
build=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/timing.sh"
mapfile -t all < <(find "$@" -maxdepth 1 -type f 2>/dev/null | sort) # a missing folder adds none
mapfile -t files < <("$build/vexillo-cli" groups "${all[@]}" 2>/dev/null | cut -f1 | sort -u)
[ ${#files[@]} -gt 0 ] || { echo "no module with icons in $*" >&2; exit 2; }
singles=("${files[@]}")
declare -A has_icons
for f in "${files[@]}"; do has_icons[$f]=1; done
for f in "${all[@]}"; do
    [ ${#singles[@]} -ge 40 ] && break
    [ -n "${has_icons[$f]:-}" ] || singles+=("$f")
done

# Each run writes new files, as a file manager names a new file for each
# thumbnail (cutting an old file short makes ext4 write it out at once).
ours() {
    local k=0 f
    for f in "$@"; do
        "$build/vexillo-thumbnailer" -s 128 "$f" "$work/a.$BASHPID.$((k += 1)).png" 2>/dev/null || true
    done
}
theirs() {
    local k=0 f out
    for f in "$@"; do
        out=$work/b.$BASHPID.$((k += 1))
        wrestool -x -t14 "$f" > "$out.ico" 2>/dev/null && icotool -x -i 1 -o "$out.png" "$out.ico" 2>/dev/null
    done
}
ratio() { echo "scale=3; $1 / $2" | bc; }
# Prints the figures of the files given.
compare() {
    local a_times=() b_times=() a_cpus=() b_cpus=() i a b
    for i in 1 2 3 4 5 6; do
        a=($(run_cpu ours "$@"))
        b=($(run_cpu theirs "$@"))
        if [ "$i" -gt 1 ]; then a_times+=("${a[0]}") a_cpus+=("${a[1]}") b_times+=("${b[0]}") b_cpus+=("${b[1]}"); fi
    done
    a=$(median "${a_times[@]}") b=$(median "${b_times[@]}")
    echo "vexillo-thumbnailer ${a} s, wrestool + icotool ${b} s, ratio $(ratio "$a" "$b");"
    a=$(median "${a_cpus[@]}") b=$(median "${b_cpus[@]}")
    echo "processor ${a} s and ${b} s, ratio $(ratio "$a" "$b")"
}
echo "${#files[@]} modules with icons at 128:" $(compare "${files[@]}")
echo "${#singles[@]} modules at 128:" $(compare "${singles[@]}")
peak=0
for f in "${singles[@]}"; do
    /usr/bin/time -o "$work/peak" -f '%M' "$build/vexillo-thumbnailer" -s 128 "$f" "$work/a.png" 2>/dev/null || true
    kib=$(tail -1 "$work/peak")
    if [ "$kib" -gt "$peak" ]; then peak=$kib; fi
done
echo "vexillo-thumbnailer's largest peak memory: $((peak / 1024)) MiB"
