#!/usr/bin/env bash
# Two builds of vexillo-cli run on the same files, their outputs compared
# byte for byte: standard output, standard error, the exit status and every
# file written (names, bytes and hard-link counts). For a change that must not
# change what the program does. Both runs write to the same path, one after
# the other, so that paths in their texts agree.
# Usage: scripts/compare-cli.sh OLD-CLI NEW-CLI FILE-OR-FOLDER...
# (paths without blanks)
# Prints a line for each run that differs and then the number of runs and of
# differences; exits 1 when any differ.
set -uo pipefail
old=$1 new=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
runs=0 differ=0

# What a run left in $work/out (a file, or a folder of them): each entry's
# path, kind and links, then each file's checksum.
tree() {
    [ -e "$work/out" ] || return 0
    [ -d "$work/out" ] || { sha1sum <"$work/out"; return; }
    (cd "$work/out" && find . -mindepth 1 -printf '%P\t%y\t%n\n' | sort &&
        find . -type f -print0 | xargs -0 -r sha1sum | sort -k 2)
}

# Runs the command line "$@" (OUT standing for the output path) with one
# binary, after FIRST (a command line of the same binary, or nothing) has
# written to the same output; leaves its results in $work/$side.
run() {
    local side=$1 cli=$2
    shift 2
    local args=() first=() a
    for a in "$@"; do args+=("${a//OUT/$work/out}"); done
    for a in ${FIRST:-}; do first+=("${a//OUT/$work/out}"); done
    rm -rf "$work/out"
    [ ${#first[@]} -eq 0 ] || "$cli" "${first[@]}" >/dev/null 2>&1
    "$cli" "${args[@]}" >"$work/$side.stdout" 2>"$work/$side.stderr"
    echo "$?" >"$work/$side.status"
    tree >"$work/$side.tree"
}

compare() {
    run old "$old" "$@"
    run new "$new" "$@"
    runs=$((runs + 1))
    local part
    for part in stdout stderr status tree; do
        if ! cmp -s "$work/old.$part" "$work/new.$part"; then
            differ=$((differ + 1))
            echo "differs ($part): $*"
            diff "$work/old.$part" "$work/new.$part" | head -n 6
            return
        fi
    done
}

for input in "$@"; do
    compare groups "$input"
    compare images "$input"
    compare save "$input" OUT
    compare png "$input" 0 OUT
    compare bmp "$input" 0 OUT
    compare hicolor "$input" --name app --out OUT
    for flags in "" --png --numbered "--png --numbered"; do
        # shellcheck disable=SC2086 # the flags are words
        compare extract $flags "$input" --out OUT
    done
    # Into a folder an extraction has filled: the names are taken.
    FIRST="extract --png $input --out OUT" compare extract --png "$input" --out OUT
    FIRST="extract $input --out OUT" compare extract --force "$input" --out OUT
    [ -d "$input" ] && compare scan "$input"
done
echo "$runs runs, $differ differ"
[ "$differ" -eq 0 ]
