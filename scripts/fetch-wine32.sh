#!/usr/bin/env bash
# Fetches Wine's 32-bit Windows modules (Debian's libwine:i386) for the tests
# and benchmarks that compare against wrestool, without installing anything:
# the package list and the package are fetched with an apt state of their
# own under DIR, and only the modules (usr/lib/i386-linux-gnu/wine/
# i386-windows) are unpacked, to DIR/i386-windows. The machine's apt and
# dpkg, and its architectures, are left as they are.
# Usage: scripts/fetch-wine32.sh DIR
# Prints nothing and changes nothing when DIR/i386-windows is there already;
# on failure (no network, no such package) it says so and exits non-zero,
# and the tests that use the modules say they are skipped.
set -euo pipefail
dir=$(realpath -m "$1")
[ -f "$dir/i386-windows/shell32.dll" ] && exit 0
state=$dir/apt
rm -rf "$state" "$dir/i386-windows"
mkdir -p "$state/lists/partial" "$state/cache/archives/partial"
apt=(-qq -o Dir::State::Lists="$state/lists" -o Dir::Cache="$state/cache"
  -o APT::Architectures=i386 -o APT::Architecture=i386 -o Debug::NoLocking=1)
apt-get "${apt[@]}" update >/dev/null
(cd "$state" && apt-get "${apt[@]}" download libwine:i386 2>/dev/null)
deb=$(ls "$state"/libwine_*_i386.deb)
dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$state" ./usr/lib/i386-linux-gnu/wine/i386-windows
mv "$state/usr/lib/i386-linux-gnu/wine/i386-windows" "$dir/i386-windows"
rm -rf "$state"
