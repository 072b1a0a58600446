#!/usr/bin/env bash
# Runs clang-tidy with the project's checks (.clang-tidy) over every source
# file of src/, and exits 1 when it finds anything. A few minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh clang clang-tidy
CC=clang CXX=clang++ cmake -S . -B build-lint -DCMAKE_BUILD_TYPE=Debug -DVEXILLO_TESTS=OFF >/dev/null
# The Qt folders need their generated headers.
cmake --build build-lint -j"$(nproc)" --target vexillo_app_autogen vexillo_dialogs_autogen vexillo_ui_autogen \
    >/dev/null 2>&1 || cmake --build build-lint -j"$(nproc)" >/dev/null
findings=$(find src -name '*.cpp' | sort | xargs -P"$(nproc)" -n4 clang-tidy -p build-lint --quiet 2>/dev/null |
    grep -E 'warning:|error:' | sort -u || true)
if [ -n "$findings" ]; then
    echo "$findings"
    exit 1
fi
echo "clang-tidy: nothing found"
