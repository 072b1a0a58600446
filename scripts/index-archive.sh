#!/usr/bin/env bash
# Indexes an archive of Windows programs and icon files on this machine: the
# files below ARCHIVE_DIR of the types `vexillo-cli scan` reads by default
# (exe, dll, ico, cpl, ocx, icl, mun, scr) are cut into shards of
# SHARD_FILES files, GNU parallel runs `vexillo-cli groups --json` on each
# shard (one job a core), and each shard's records go to
# OUT_DIR/shards/N.jsonl, what it said on standard error to N.err; then the
# shards are merged, in order, into OUT_DIR/icons.jsonl. See docs/scaling.md.
#
# Usage: scripts/index-archive.sh ARCHIVE_DIR OUT_DIR
# Environment: VEXILLO_CLI, the program (default: vexillo-cli on PATH, else
# build/vexillo-cli); SHARD_FILES (default 1000); JOBS (default: a job a
# core); CURSORS=1 adds .cur and .ani files and the cursor groups of modules.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 ARCHIVE_DIR OUT_DIR" >&2; exit 2; }
archive=$1
out=$2
here=$(cd "$(dirname "$0")/.." && pwd)
cli=${VEXILLO_CLI:-$(command -v vexillo-cli || echo "$here/build/vexillo-cli")}
[ -x "$cli" ] || { echo "$0: no vexillo-cli (set VEXILLO_CLI)" >&2; exit 2; }
command -v parallel >/dev/null || { echo "$0: needs GNU parallel (scripts/install-deps.sh parallel)" >&2; exit 2; }

types=(exe dll ico cpl ocx icl mun scr)
cursors=
if [ "${CURSORS:-0}" = 1 ]; then
    types+=(cur ani)
    cursors=--cursors
fi
names=()
for t in "${types[@]}"; do
    names+=(${names[0]+-o} -iname "*.$t")
done

mkdir -p "$out/shards"
rm -f "$out"/shards/*.jsonl "$out"/shards/*.err "$out/icons.jsonl"
# A shard: its number, then its files (parallel quotes each).
export VEXILLO_INDEX_CLI=$cli VEXILLO_INDEX_OUT=$out VEXILLO_INDEX_CURSORS=$cursors
run_shard() {
    local n=$1
    shift
    "$VEXILLO_INDEX_CLI" groups --json $VEXILLO_INDEX_CURSORS -- "$@" \
        >"$VEXILLO_INDEX_OUT/shards/$n.jsonl" 2>"$VEXILLO_INDEX_OUT/shards/$n.err"
}
export -f run_shard
# A shard whose files fail is no failure of the run (its reasons are in its
# .err file, as 'groups' says them); one that stops otherwise (wrong usage,
# a signal, a full disk) is.
find "$archive" -type f \( "${names[@]}" \) -print0 |
    SHELL=$BASH parallel -0 --will-cite -n "${SHARD_FILES:-1000}" ${JOBS:+-j "$JOBS"} \
        --joblog "$out/shards/joblog" run_shard {#} {} || true
failed=$(awk 'NR > 1 && ($7 > 1 || $8 != 0)' "$out/shards/joblog" | wc -l)
[ "$failed" -eq 0 ] || { echo "$0: $failed shards stopped; see $out/shards/joblog" >&2; exit 1; }

# The shards in the order of their numbers: the files in the order find met them.
find "$out/shards" -name '*.jsonl' -printf '%f\n' | sort -n | sed "s|^|$out/shards/|" |
    xargs -r -d '\n' cat >"$out/icons.jsonl"
echo "$(find "$out/shards" -name '*.jsonl' | wc -l) shards, $(wc -l <"$out/icons.jsonl") records: $out/icons.jsonl" >&2
