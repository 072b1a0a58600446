#!/usr/bin/env bash
# Installs what is missing, builds Vexillo twice and runs every test in both:
# a normal build with g++, and one with clang++ under AddressSanitizer and
# UndefinedBehaviorSanitizer whose own sources (src/) also build with clang's
# stricter warnings as errors (VEXILLO_STRICT). A third build, with clang++
# under ThreadSanitizer, makes only the tests that run threads and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang libclang-rt-14-dev clang-format libwine jq parallel tumbler dbus gir1.2-gnomedesktop-3.0 python3-gi gir1.2-gdkpixbuf-2.0 bubblewrap ccache
jobs=$(nproc)
# The three builds compile through ccache, its paths taken relative to this
# tree: a run in a fresh clone reuses what an earlier run, in any clone on
# this machine, compiled of the same sources (a cold cache builds all).
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
cache=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# DuckDB, with the library its npm package ships, reads the JSON Lines of
# 'scan --json' back in the tests; both builds take it from build/npm.
# Node and npm come from Debian where the machine has none; a DuckDB that
# this Node cannot load is removed, so that its tests say they are skipped.
npm_dir=$PWD/build/npm
command -v npm >/dev/null || bash scripts/install-deps.sh nodejs npm
if [ ! -d "$npm_dir/node_modules/@duckdb/node-api" ]; then
  npm install --silent --no-audit --no-fund --prefix "$npm_dir" @duckdb/node-api@1.5.6-r.1 ||
    echo "DuckDB could not be installed from npm: the tests that read JSON with it are skipped" >&2
fi
if [ -d "$npm_dir/node_modules/@duckdb/node-api" ] &&
  ! NODE_PATH="$npm_dir/node_modules" node -e "require('@duckdb/node-api')" 2>/dev/null; then
  echo "DuckDB does not load in this Node ($(node --version)): the tests that read JSON with it are skipped" >&2
  rm -rf "$npm_dir/node_modules/@duckdb"
fi

# Wine's 32-bit modules, for the tests that compare against wrestool,
# unpacked from Debian's libwine:i386 without installing it (see the script).
wine32_dir=$PWD/build/wine32
bash scripts/fetch-wine32.sh "$wine32_dir" ||
  echo "Wine's 32-bit modules could not be fetched: the tests run on the 64-bit ones only" >&2

# The house format (.clang-format): a source that strays from it fails here.
find src tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run --Werror
# clang-tidy with the project's checks over src/ (a few minutes): a finding fails here.
bash scripts/lint.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILLO_TESTS=ON -DVEXILLO_WERROR=ON -DVEXILLO_NPM_DIR="$npm_dir" \
  -DVEXILLO_WINE32_DIR="$wine32_dir/i386-windows" "${cache[@]}" >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest -j"$jobs" --output-on-failure)

# A build folder made before with g++ is made afresh: CMake keeps its compiler.
grep -qs '^CMAKE_CXX_COMPILER:.*clang++' build-asan/CMakeCache.txt || rm -rf build-asan
cmake -S . -B build-asan -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DVEXILLO_TESTS=ON -DVEXILLO_SANITIZE=ON -DVEXILLO_STRICT=ON -DVEXILLO_WERROR=ON -DVEXILLO_NPM_DIR="$npm_dir" \
  -DVEXILLO_WINE32_DIR="$wine32_dir/i386-windows" "${cache[@]}" >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest -j"$jobs" --output-on-failure)

# ThreadSanitizer: the page threads and the keying threads, through the
# tests labelled "threads" (the page and key tests, the window's cases that
# start those threads), and only what they link.
cmake -S . -B build-tsan -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DVEXILLO_TESTS=ON -DVEXILLO_TSAN=ON -DVEXILLO_WERROR=ON "${cache[@]}" >/dev/null
cmake --build build-tsan -j"$jobs" --target pages_test entrykey_test tst_frmmain
(cd build-tsan && ctest -j"$jobs" -L threads --output-on-failure)
