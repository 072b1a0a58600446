#!/usr/bin/env bash
# Installs what is missing, builds Vexillo and starts it. The desktop window
# is still being built; until then this runs the command-line companion on
# the project's own icon.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXILLO_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" --target vexillo-cli
./build/vexillo-cli images assets/vexillo.ico
./build/vexillo-cli png assets/vexillo.ico 0 build/vexillo-48.png
echo "Wrote build/vexillo-48.png. See ./build/vexillo-cli --help for more."
