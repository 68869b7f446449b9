#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian machine (run as root).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  googletest libbenchmark-dev libpng-dev libjpeg62-turbo-dev libtiff-dev
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64 libz-mingw-w64-dev
  wine wine32:i386 wine64
  xvfb xauth x11-apps imagemagick fonts-ipafont
  valgrind
  # The fuzz build: clang, and its runtime (libFuzzer, the sanitizers), which clang only recommends.
  clang libclang-rt-14-dev
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
elif [[ ${need_update:-0} == 1 ]]; then
  apt-get update -qq
fi
echo "setup: all packages present"
