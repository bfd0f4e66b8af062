#!/usr/bin/env bash
# Installs the Debian 12 packages that the builds and tests need.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config python3 clang-format
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev libjpeg62-turbo-dev libgif-dev libstb-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libavfilter-dev frei0r-plugins
  wine wine32:i386 xvfb xauth
  gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
)

# Where the kernel refuses 32-bit programs, Wine's loader runs under
# qemu-i386. Bookworm's qemu 7.2 crashes 32-bit Wine at random once a program
# has a few threads (the media stack, dialogs); qemu 10 from bookworm-backports
# does not, so that is the one we take.
backports_list=/etc/apt/sources.list.d/vex-bookworm-backports.list
qemu_major() { /usr/bin/qemu-i386-static --version 2>/dev/null | sed -n '1s/.*version \([0-9]*\).*/\1/p'; }
need_qemu=0
[ "$(qemu_major)" -ge 8 ] 2>/dev/null || need_qemu=1

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && [ $need_qemu -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
if [ $need_qemu -eq 1 ] && [ ! -f "$backports_list" ]; then
  echo 'deb http://deb.debian.org/debian bookworm-backports main' | $SUDO tee "$backports_list" >/dev/null
fi
$SUDO apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ $need_qemu -eq 1 ]; then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    -t bookworm-backports qemu-user-static
fi
