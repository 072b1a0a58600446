#!/usr/bin/env bash
# Installs what building, running and testing Vexillo needs on Debian 12,
# and the packages named as arguments (what the fuzz and benchmark scripts
# need besides). Only packages that are missing are installed.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libpng-dev libjpeg-dev zlib1g-dev libxcursor-dev
  qt6-base-dev qt6-svg-dev libqt6svg6 fonts-dejavu-core
  libgtest-dev
  imagemagick icoutils desktop-file-utils
  # the validators of the metainfo and manual pages; dpkg-shlibdeps for cpack;
  # lintian and hardening-check (devscripts) for the package; the MIME
  # database and gio, which the package's types are checked with
  appstream groff-base man-db dpkg-dev lintian devscripts shared-mime-info libglib2.0-bin
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 cpp
  # the main window under a real window manager
  openbox xvfb x11-utils xdotool
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
