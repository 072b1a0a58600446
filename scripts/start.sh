#!/usr/bin/env bash
# Installs what is missing, builds Vexillo and starts the desktop program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILLO_TESTS=OFF >/dev/null
# The programs that `cmake --install build` installs.
cmake --build build -j"$(nproc)" --target vexillo vexillo-cli vexillo-thumbnailer
exec ./build/vexillo
