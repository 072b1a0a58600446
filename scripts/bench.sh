#!/usr/bin/env bash
# Installs what the benchmarks need (Wine's modules as real input among it),
# builds the programs and runs every benchmark that prints a figure:
#   - the window's folder search against the bare scan (20,000 and 200,000 entries);
#   - the window on Wine's shell32.dll: open, preview and the next page;
#   - vexillo-cli extract of Wine's modules against wrestool -x;
#   - vexillo-cli extract --png against icotool -x;
#   - vexillo-cli dupes of Wine's modules against wrestool -x and sha256sum;
#   - vexillo-thumbnailer of Wine's modules (64- and 32-bit) against
#     wrestool -x | icotool -x, those with icons and about 40 in all;
#   - vexillo-cli similar of icons of Wine's modules altered by ImageMagick
#     (resized, colour-shifted, framed, reduced to a palette) among others.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh libwine bc time libbenchmark-dev
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target vexillo-cli vexillo-thumbnailer bench_search bench_window >/dev/null
wine=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
# The 32-bit modules, unpacked from Debian's libwine:i386 (not installed).
bash scripts/fetch-wine32.sh build/wine32 || echo "no 32-bit Wine modules: the 64-bit ones only" >&2
wine32=build/wine32/i386-windows

export QT_QPA_PLATFORM=offscreen
./build/bench_search 20000 2>/dev/null
./build/bench_search 200000 2>/dev/null
./build/bench_window "$wine/shell32.dll" 2>/dev/null
bash bench/extract_vs_wrestool.sh build/vexillo-cli "$wine"
bash bench/png_vs_icotool.sh build/vexillo-cli
bash bench/dupes_vs_wrestool.sh build/vexillo-cli "$wine" "$wine32"
bash bench/thumbnail_vs_icoutils.sh build "$wine" "$wine32"
bash bench/ne_list_vs_wrestool.sh build/vexillo-cli
bash bench/cursor_list_vs_wrestool.sh build/vexillo-cli
bash bench/similar_variants.sh build/vexillo-cli "$wine" ../shared/corpus
