#!/usr/bin/env bash
# Makes the Debian package of a build folder as `cpack -G DEB` makes it, in a
# temporary folder, and checks it: its control fields (dependencies among
# them), the files it installs under /usr, lintian's verdict, the programs'
# hardening, that the programs of a copy unpacked elsewhere run, and that an
# install to a prefix makes the desktop offer Vexillo for Windows files. The
# package is never installed.
# Usage: check_deb.sh BUILD_DIR SOURCE_DIR VERSION APPSTREAM_ID STATIC FORTIFIED
# (STATIC: whether the build links the thumbnailer whole, ON or OFF;
# FORTIFIED: whether it builds with FORTIFY, which a sanitizer or an
# unoptimised build leaves out)
set -euo pipefail
build=$1 source=$2 version=$3 appstream_id=$4 static=$5 fortified=${6:-ON}
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
  usr/share/mime/packages/vexillo.xml
  usr/share/icons/hicolor/scalable/apps/vexillo.svg
  usr/share/icons/hicolor/256x256/apps/vexillo.png
  usr/share/thumbnailers/vexillo.thumbnailer
  "usr/share/metainfo/$appstream_id.metainfo.xml"
  usr/share/vexillo/uc.ani
)
for page in "$source"/docs/man/*.1; do
  expected+=("usr/share/man/man1/$(basename "$page").gz")
done
expected+=(usr/share/doc/vexillo/copyright usr/share/doc/vexillo/changelog.gz)
for file in "${expected[@]}"; do
  grep -Fxq "./$file" "$tmp/contents" || fault "the package lacks /$file"
done
if grep -v -e '^\./$' -e '^\./usr/' "$tmp/contents" >&2; then
  fault "the files above lie outside /usr"
fi
# The desktop's caches are the package manager's (its triggers), not files
# of the package.
if grep -E '/(mimeinfo\.cache|icon-theme\.cache|mime\.cache|globs2)$' "$tmp/contents" >&2; then
  fault "the package holds the caches above"
fi

# lintian, as Debian's archive runs it: no error and no warning. A build
# that links the thumbnailer whole is not one Debian would take: lintian's
# findings of the libraries it holds, and of a static PIE (which looks to it
# like a library that names none it needs), are expected there.
if command -v lintian >/dev/null; then
  lintian --no-cfg --display-level '>=warning' "$deb" >"$tmp/lintian" 2>&1 || true
  allowed='^$'
  [ "$static" = ON ] && allowed=' (embedded-library|shared-library-lacks-prerequisites) .*vexillo-thumbnailer'
  if grep -E '^[EW]: ' "$tmp/lintian" | grep -Ev -- "$allowed" >&2; then
    fault "lintian finds the errors and warnings above"
  fi
else
  echo "check_deb: lintian is not installed; the package's lint is not checked" >&2
fi

# An unpacked copy: its programs run from where they lie.
dpkg-deb -x "$deb" "$tmp/root"

# Manual pages as Debian keeps them: gzip -9 (the header's extra flags 02,
# maximum compression) without a name or time (-n: flags and time 0).
for page in "$tmp"/root/usr/share/man/man1/* "$tmp/root/usr/share/doc/vexillo/changelog.gz"; do
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
# The licences of what the thumbnailer holds when it is linked whole, and
# none when it links the system's libraries.
for licence in libpng Zlib; do
  if [ "$static" = ON ]; then
    grep -qx "License: $licence" "$copyright" || fault "the copyright file lacks $licence, which the thumbnailer holds"
  elif grep -qx "License: $licence" "$copyright"; then
    fault "the copyright file names $licence, which the package does not hold"
  fi
done
changelog_version=$(dpkg-parsechangelog -l "$tmp/root/usr/share/doc/vexillo/changelog.gz" -S Version 2>&1) ||
  fault "dpkg-parsechangelog cannot read the changelog: $changelog_version"
[ "$changelog_version" = "$version" ] || fault "the changelog's last entry is for '$changelog_version', not $version"
bin=$tmp/root/usr/bin
# No run path: the system's libraries, not ones found beside the program or
# (through an empty entry) in the current folder.
for program in "$bin"/*; do
  if readelf -d "$program" | grep -E '\((RPATH|RUNPATH)\)' >&2; then
    fault "$(basename "$program") has a run path"
  fi
done
# Debian's hardening flags (dpkg-buildflags): PIE, stack protector, FORTIFY,
# relro and immediate binding. Control-flow marking is not among Debian 12's
# flags, and its C start-up files do not carry it, so no program can; a
# thumbnailer linked whole has no dynamic symbols by which hardening-check
# could see the stack protector or the checked calls.
if command -v hardening-check >/dev/null; then
  for program in "$bin"/*; do
    skip=(--nocfprotection)
    [ "$fortified" = ON ] || skip+=(--nofortify)
    [ "$static" = ON ] && [ "$(basename "$program")" = vexillo-thumbnailer ] && skip+=(--nostackprotector --nofortify)
    hardening-check --quiet "${skip[@]}" "$program" >&2 || fault "$(basename "$program") lacks the hardening above"
  done
else
  echo "check_deb: hardening-check (devscripts) is not installed; the hardening is not checked" >&2
fi
# The package's thumbnailer takes libpng and zlib from the system, which its
# security updates mend; one linked whole needs no shared library at all.
needed=$(readelf -d "$bin/vexillo-thumbnailer" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
if [ "$static" != ON ]; then
  for library in libpng16.so.16 libz.so.1; do
    grep -qx "$library" <<<"$needed" || fault "vexillo-thumbnailer does not link $library: $(echo $needed)"
  done
elif [ -n "$needed" ]; then
  fault "vexillo-thumbnailer, linked whole, needs $(echo $needed)"
fi
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

# The file managers' Open With, as GIO answers it for one user who installed
# to a prefix: a Windows library (one made here, and Wine's where Wine is
# installed) has a type that vexillo.desktop claims, and a Linux library
# named .dll stays a Linux library; under the system's database, and under
# one that gives every name ending in .dll to Linux libraries, as some do.
# The prefix's bin folder is on PATH, as the desktop entry's TryExec needs.
if command -v gio >/dev/null && command -v update-mime-database >/dev/null &&
  command -v x86_64-w64-mingw32-ld >/dev/null && [ -d "$tmp/user" ]; then
  [ -f "$tmp/user/share/mime/mime.cache" ] || fault "an install to a prefix leaves it without a MIME database"
  mkdir -p "$tmp/sharedlib/mime/packages"
  cat >"$tmp/sharedlib/mime/packages/dll.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-sharedlib"><glob pattern="*.dll"/></mime-type>
</mime-info>
XML
  update-mime-database "$tmp/sharedlib/mime" 2>"$tmp/mime.log" || { cat "$tmp/mime.log" >&2; fault "update-mime-database failed"; }
  as_user() {
    PATH=$tmp/user/bin:$PATH GIO_USE_VFS=local XDG_DATA_HOME=$tmp/user/share XDG_DATA_DIRS=$system_dirs \
      XDG_CONFIG_HOME=$tmp/config XDG_CONFIG_DIRS=/etc/xdg "$@"
  }
  content_type() { as_user gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'; }
  claimed=$(sed -n 's/^MimeType=//p' "$source/assets/vexillo.desktop")
  echo '1 ICON "'"$source"'/assets/vexillo.ico"' >"$tmp/icons.rc"
  x86_64-w64-mingw32-windres --preprocessor=cpp -i "$tmp/icons.rc" -o "$tmp/icons.o" &&
    x86_64-w64-mingw32-ld -shared -o "$tmp/icons.dll" "$tmp/icons.o" || fault "no Windows library could be made"
  libraries=("$tmp/icons.dll")
  wine_dll=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/shell32.dll
  [ -f "$wine_dll" ] && libraries+=("$wine_dll")
  cp "$bin/vexillo-cli" "$tmp/linux.dll"
  for system_dirs in /usr/local/share:/usr/share "$tmp/sharedlib:/usr/local/share:/usr/share"; do
    for library in "${libraries[@]}"; do
      type=$(content_type "$library")
      [[ ";$claimed" == *";$type;"* ]] ||
        fault "GIO types $library as '$type' under $system_dirs, which vexillo.desktop does not claim"
      offered=$(as_user gio mime "$type" 2>&1)
      grep -q 'vexillo\.desktop' <<<"$offered" || fault "gio mime $type does not offer vexillo.desktop: $offered"
    done
    type=$(content_type "$tmp/linux.dll")
    [ "$type" = application/x-sharedlib ] || fault "GIO types a Linux library named .dll as '$type' under $system_dirs"
  done
  "$bin/vexillo-thumbnailer" -s 32 "$tmp/icons.dll" "$tmp/library.png" || fault "vexillo-thumbnailer failed on a .dll"
else
  echo "check_deb: gio, update-mime-database or the MinGW linker is missing; Open With for .dll is not checked" >&2
fi

exit $status
