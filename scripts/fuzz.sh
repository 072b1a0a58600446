#!/usr/bin/env bash
# Builds the fuzz targets with clang as libFuzzer programs (AddressSanitizer
# and UndefinedBehaviorSanitizer over the whole library) and runs one.
#
#   scripts/fuzz.sh TARGET SECONDS [OPTION...]
#                                    fuzz TARGET for SECONDS (further options
#                                    go to libFuzzer: -max_len=65536, say)
#   scripts/fuzz.sh --merge TARGET   minimise what a run found into the
#                                    repository's corpus (libFuzzer -merge=1)
#   scripts/fuzz.sh --list           the targets
#
# A run starts from fuzz/corpus/TARGET, fuzz/crashers/TARGET and, when it lies
# beside the repository, the samples of ../shared/corpus; the inputs it finds
# collect in build-fuzz/work/TARGET, and an input that breaks the target is
# written to fuzz/crashers/TARGET/ (keep it there: every replay runs it, and
# tests/crashers_test.cpp asks for a row saying what it must give).
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(fuzz_ico_file fuzz_cur_file fuzz_icon_image fuzz_pe_module fuzz_ne_module fuzz_ani_cursor fuzz_xcursor fuzz_jpeg
         fuzz_ini_file)
# The kinds of samples in ../shared/corpus each target starts from.
declare -A samples=([fuzz_ico_file]="ico ani" [fuzz_cur_file]="ico" [fuzz_icon_image]="ico" [fuzz_pe_module]="pe"
                    [fuzz_ne_module]="ne" [fuzz_ani_cursor]="ani ico" [fuzz_xcursor]="ani ico" [fuzz_jpeg]=""
                    [fuzz_ini_file]="")

usage() {
    sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
known() {
    local t
    for t in "${targets[@]}"; do [ "$t" = "$1" ] && return 0; done
    echo "fuzz.sh: no target '$1' (try --list)" >&2
    exit 2
}

[ $# -ge 1 ] || usage
case "$1" in
--list) printf '%s\n' "${targets[@]}"; exit 0 ;;
--merge) [ $# -eq 2 ] || usage; mode=merge; target=$2 ;;
*) [ $# -ge 2 ] || usage; mode=run; target=$1; seconds=$2; shift 2
   [[ "$seconds" =~ ^[0-9]+$ ]] || usage ;;
esac
known "$target"

bash scripts/install-deps.sh clang libclang-rt-14-dev

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILLO_LIBFUZZER=ON \
    -DVEXILLO_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "$target" >/dev/null

work=build-fuzz/work/$target
mkdir -p "$work" "fuzz/corpus/$target" "fuzz/crashers/$target"
# AddressSanitizer keeps freed blocks and its own caches resident; with a
# small quarantine, given back often, the resident size measures the target.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=16:allocator_release_to_os_interval_ms=200}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

if [ "$mode" = merge ]; then
    # The smallest set of inputs that keeps the coverage of both folders.
    fresh=$(mktemp -d)
    trap 'rm -rf "$fresh"' EXIT
    "build-fuzz/fuzz/$target" -merge=1 "$fresh" "fuzz/corpus/$target" "$work"
    rm -f "fuzz/corpus/$target"/*
    cp "$fresh"/* "fuzz/corpus/$target/" 2>/dev/null || true
    echo "fuzz/corpus/$target: $(ls "fuzz/corpus/$target" | wc -l) inputs"
    exit 0
fi

seeds=("fuzz/corpus/$target" "fuzz/crashers/$target")
for kind in ${samples[$target]}; do
    [ -d "../shared/corpus/$kind" ] && seeds+=("../shared/corpus/$kind")
done
# What one file's budget allows (64 MiB of memory, a second of work for a
# small file), with room for the sanitizers: an input that needs more is a
# fault. Modules are fuzzed up to 64 KiB by default, where a run makes
# thousands of executions a second rather than tens (-max_len=N overrides).
defaults=(-rss_limit_mb=256 -timeout=2)
[[ "$target" = fuzz_[pn]e_module ]] && defaults+=(-max_len=65536)
exec "build-fuzz/fuzz/$target" "$work" "${seeds[@]}" -max_total_time="$seconds" "${defaults[@]}" \
    -artifact_prefix="fuzz/crashers/$target/" -print_final_stats=1 "$@"
