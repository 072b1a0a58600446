#!/usr/bin/env bash
# Makes the Debian package of a build folder as `cpack -G DEB` makes it, in a
# temporary folder, and checks it: its control fields (dependencies among
# them), the files it installs under /usr, and that the programs of a copy
# unpacked elsewhere run. The package is never installed.
# Usage: check_deb.sh BUILD_DIR SOURCE_DIR VERSION APPSTREAM_ID
set -euo pipefail
build=$1 source=$2 version=$3 appstream_id=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
fault() { echo "check_deb: $*" >&2; status=1; }

if ! cpack -G DEB -B "$tmp/out" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  echo "check_deb: cpack failed" >&2
  exit 1
fi
deb=$tmp/out/vexillo_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "check_deb: cpack made no $(basename "$deb")" >&2; ls "$tmp/out" >&2; exit 1; }

# The control fields.
[ "$(dpkg-deb -f "$deb" Package)" = vexillo ] || fault "Package is '$(dpkg-deb -f "$deb" Package)'"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fault "Version is '$(dpkg-deb -f "$deb" Version)', not $version"
[ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fault "Section is '$(dpkg-deb -f "$deb" Section)'"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fault "no Maintainer"
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fault "no Description"
# The widgets and PNG libraries the programs link, and the SVG plugins that
# draw the window's pictures.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libpng16-16 libqt6svg6; do
  grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fault "Depends does not name $package: $depends"
done

# The files, all under /usr: what `cmake --install` installs.
dpkg-deb -c "$deb" | awk '{ print $6 }' >"$tmp/contents"
expected=(
  usr/bin/vexillo usr/bin/vexillo-cli usr/bin/vexillo-thumbnailer
  usr/share/applications/vexillo.desktop
  usr/share/icons/hicolor/scalable/apps/vexillo.svg
  usr/share/icons/hicolor/256x256/apps/vexillo.png
  usr/share/thumbnailers/vexillo.thumbnailer
  "usr/share/metainfo/$appstream_id.metainfo.xml"
  usr/share/vexillo/uc.ani
)
for page in "$source"/docs/man/*.1; do
  expected+=("usr/share/man/man1/$(basename "$page").gz")
done
expected+=(usr/share/doc/vexillo/copyright)
for file in "${expected[@]}"; do
  grep -Fxq "./$file" "$tmp/contents" || fault "the package lacks /$file"
done
if grep -v -e '^\./$' -e '^\./usr/' "$tmp/contents" >&2; then
  fault "the files above lie outside /usr"
fi
# The desktop's caches are the package manager's (its triggers), not files
# of the package.
if grep -E '/(mimeinfo\.cache|icon-theme\.cache)$' "$tmp/contents" >&2; then
  fault "the package holds the caches above"
fi

# An unpacked copy: its programs run from where they lie.
dpkg-deb -x "$deb" "$tmp/root"

# Manual pages as Debian keeps them: gzip -9 (the header's extra flags 02,
# maximum compression) without a name or time (-n: flags and time 0).
for page in "$tmp"/root/usr/share/man/man1/*; do
  header=$(head -c 9 "$page" | od -An -tx1 | tr -d ' \n')
  [ "$header" = 1f8b08000000000002 ] || fault "$(basename "$page") is not compressed with gzip -9n (header $header)"
  gzip -t "$page" || fault "$(basename "$page") does not decompress"
done
# The licence in the machine-readable copyright format.
copyright=$tmp/root/usr/share/doc/vexillo/copyright
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fault "the copyright file does not name its format"
grep -qx 'License: MIT' "$copyright" || fault "the copyright file names no MIT licence"
grep -q '^ Permission is hereby granted' "$copyright" || fault "the copyright file lacks the licence's text"
bin=$tmp/root/usr/bin
# No run path: the system's libraries, not ones found beside the program or
# (through an empty entry) in the current folder.
for program in "$bin"/*; do
  if readelf -d "$program" | grep -E '\((RPATH|RUNPATH)\)' >&2; then
    fault "$(basename "$program") has a run path"
  fi
done
"$bin/vexillo-cli" --help >"$tmp/help" 2>&1 || fault "vexillo-cli --help failed: $(cat "$tmp/help")"
mkdir -p "$tmp/runtime" && chmod 700 "$tmp/runtime"
shown=$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$tmp/runtime "$bin/vexillo" --version 2>&1) ||
  fault "vexillo --version failed: $shown"
[ "$shown" = "Vexillo $version" ] || fault "vexillo --version printed '$shown'"
"$bin/vexillo-thumbnailer" -s 48 "$source/assets/vexillo.ico" "$tmp/thumbnail.png" ||
  fault "vexillo-thumbnailer failed"
[ "$(/usr/bin/identify -format '%m %wx%h' "$tmp/thumbnail.png" 2>&1)" = "PNG 48x48" ] ||
  fault "the thumbnail is not a 48-pixel PNG picture"
# The metainfo as the software centres read an installed tree: the desktop
# entry its launchable names must lie beside it.
appstreamcli validate-tree --no-net --strict "$tmp/root" >"$tmp/appstream" 2>&1 ||
  { cat "$tmp/appstream" >&2; fault "appstreamcli validate-tree failed"; }

# Installed for one user, the desktop entry is in the prefix's desktop
# database at once, folders among its types.
if command -v update-desktop-database >/dev/null; then
  cmake --install "$build" --prefix "$tmp/user" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; fault "cmake --install failed"; }
  grep -qx 'inode/directory=vexillo.desktop;' "$tmp/user/share/applications/mimeinfo.cache" 2>/dev/null ||
    fault "an install to a prefix leaves its desktop database without vexillo.desktop"
fi

exit $status
