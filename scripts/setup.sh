#!/usr/bin/env bash
# Installs what the builds need on a fresh Debian machine (run as root).
#   scripts/setup.sh           everything: the native, Windows, sanitizer and fuzz builds, the tests
#                              (Wine, a virtual X server, Valgrind), the benchmarks, the package and
#                              its installer
#   scripts/setup.sh native    only what the native plug-in module and command-line tool need
#                              (scripts/sample.sh, cmake --install)
#   scripts/setup.sh pictures  native, plus ImageMagick for scripts/make_pictures.sh (and the annotated
#                              dialog, scripts/annotate_dialog.sh)
#   scripts/setup.sh gegl      native, plus what the GEGL operation needs (libgegl-dev) and the gegl command
set -euo pipefail

native=(cmake ninja-build g++ libpng-dev libjpeg62-turbo-dev libtiff-dev zlib1g-dev)
case ${1:-all} in
  native) packages=("${native[@]}") ;;
  pictures) packages=("${native[@]}" imagemagick fonts-dejavu-core) ;;
  gegl) packages=("${native[@]}" pkg-config libgegl-dev gegl) ;;
  all)
    packages=(
      "${native[@]}" pkg-config googletest libbenchmark-dev
      g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64 libz-mingw-w64-dev
      wine wine32:i386 wine64
      xvfb xauth x11-apps imagemagick fonts-ipafont
      valgrind
      # The fuzz build: clang, and its runtime (libFuzzer, the sanitizers), which clang only recommends.
      clang libclang-rt-14-dev
      # The GEGL operation (gegl/) and its tests, which run the gegl command.
      libgegl-dev gegl
      # The release packages: the zip, the guide as one HTML page and the installer; the Debian package
      # (dpkg-shlibdeps, lintian, the manual page made by help2man and read back by man).
      zip unzip pandoc nsis dpkg-dev lintian help2man man-db
    ) ;;
  *) echo "usage: $0 [native|pictures|gegl]" >&2; exit 2 ;;
esac

missing=()
# The 32-bit Wine needs the i386 architecture.
if [[ " ${packages[*]} " == *" wine32:i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
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
