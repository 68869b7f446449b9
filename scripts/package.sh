#!/usr/bin/env bash
# Builds the 64-bit and 32-bit Windows plug-in modules and command-line tools and writes the release
# zip, dist/aperlume-<version>.zip:
#   x64/Aperlume.8bf  x64/aperlume.exe   (current editors; the tool loads the module beside it)
#   x86/Aperlume.8bf  x86/aperlume.exe   (32-bit editors)
#   README.html  LICENSE.txt             (the photographers' guide, docs/guide.md, as one page)
# and the installer of the same files, dist/aperlume-<version>-setup.exe (scripts/installer.nsi).
# It uses the same Windows build trees as scripts/test.sh (build/win-x86_64, build/win-i686), so after
# the test command it only links what is missing. Each module and tool is checked to import nothing but
# Windows' own DLLs (the C++ runtime and zlib are linked in), and, where Wine is present, each tool
# renders the built-in sample with the module found beside it in the package. Run scripts/setup.sh first.
# Then it writes the Debian package, dist/aperlume_<version>_amd64.deb, from the native tree
# (scripts/package_deb.sh: the tool, its module, the GEGL operation and the manual page).
#
# Usage: scripts/package.sh [--no-build]   --no-build packs what the build trees hold, building nothing
# Environment: APERLUME_BUILD_DIR (default build), APERLUME_JOBS (default 2), APERLUME_DIST (default dist).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${APERLUME_BUILD_DIR:-$root/build}
jobs=${APERLUME_JOBS:-2}
dist=${APERLUME_DIST:-$root/dist}
do_build=1
case ${1:-} in
  "") ;;
  --no-build) do_build=0 ;;
  *) echo "usage: $0 [--no-build]" >&2; exit 2 ;;
esac

version=$(sed -nE 's/^project\(Aperlume VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
[[ -n $version ]] || { echo "package: no project version in CMakeLists.txt" >&2; exit 1; }
name=aperlume-$version
stage=$dist/$name
zip_file=$dist/$name.zip

# Windows' own DLLs; anything else would have to travel in the zip, and nothing should.
system_dll='^(kernel32|user32|gdi32|comctl32|comdlg32|advapi32|shell32|ole32|oleaut32|windowscodecs|msvcrt|ws2_32|shlwapi|version|uxtheme|msimg32|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$'

check_imports() {  # objdump, file
  local bad
  bad=$("$1" -p "$2" | sed -nE 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | grep -Ev "$system_dll" || true)
  if [[ -n $bad ]]; then
    echo "package: $2 needs DLLs that are not part of Windows: $bad" >&2
    return 1
  fi
}

rm -rf "$stage" "$zip_file" "$dist/$name-setup.exe"
mkdir -p "$stage"
for arch in x86_64 i686; do
  tree=$build/win-$arch
  folder=$([[ $arch == x86_64 ]] && echo x64 || echo x86)
  if ((do_build)); then
    echo "=== build: win-$arch"
    # The same configuration as the test command, so the two share one tree.
    cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPERLUME_WERROR=ON \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$arch-w64-mingw32.cmake" >"$tree.package-configure.log" 2>&1 ||
      { cat "$tree.package-configure.log"; exit 1; }
    cmake --build "$tree" -j "$jobs" --target aperlume aperlume_module >"$tree.package-build.log" 2>&1 ||
      { tail -n 80 "$tree.package-build.log"; exit 1; }
  fi
  mkdir -p "$stage/$folder"
  for file in "$tree/plugin/Aperlume.8bf" "$tree/tools/aperlume/aperlume.exe"; do
    [[ -f $file ]] || { echo "package: $file is missing (build it, or run without --no-build)" >&2; exit 1; }
    # The debug information stays in the build tree; the package carries the stripped file.
    "$arch-w64-mingw32-strip" -o "$stage/$folder/$(basename "$file")" "$file"
    check_imports "$arch-w64-mingw32-objdump" "$stage/$folder/$(basename "$file")"
  done
done
cp "$root/LICENSE" "$stage/LICENSE.txt"

# ---- The guide: docs/guide.md as one self-contained page, its pictures inside it.
build_guide() {  # output.html
  pandoc "$root/docs/guide.md" --from markdown --to html5 --standalone --self-contained \
    --resource-path="$root/docs" --css "$root/docs/guide.css" --metadata lang=en -o "$1"
  # A page that still points at a picture beside it would show a broken image once moved.
  local outside
  outside=$(grep -oE '<img [^>]*src="[^"]*"' "$1" | grep -v 'src="data:' || true)
  if [[ -n $outside ]]; then
    echo "package: $1 refers to pictures outside itself: $outside" >&2
    return 1
  fi
}
build_guide "$stage/README.html"
# ---- end of the guide

if command -v wine >/dev/null; then
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  for arch in x86_64 i686; do
    folder=$([[ $arch == x86_64 ]] && echo x64 || echo x86)
    export WINEPREFIX=$build/wineprefix-$arch
    "$root/scripts/wine_prefix.sh" "$WINEPREFIX"
    probe=$(mktemp -d)
    # Run from elsewhere: the tool has to find the module beside itself, not in the current folder.
    if ! (cd "$probe" && wine "$stage/$folder/aperlume.exe" --amount 3 --sample probe.png >log.txt 2>&1 &&
          [[ -s probe.png ]]); then
      cat "$probe/log.txt" >&2
      echo "package: $folder/aperlume.exe did not render the sample with the module beside it" >&2
      rm -rf "$probe"; exit 1
    fi
    rm -rf "$probe"
    echo "checked: $folder/aperlume.exe renders with its own module"
  done
else
  echo "note: no Wine here, so the packaged tools were not run" >&2
fi

(cd "$stage" && zip -q -X -r "$zip_file" x64 x86 README.html LICENSE.txt)

listing=$(unzip -Z1 "$zip_file" | grep -v '/$' | sort | tr '\n' ' ')
expected="LICENSE.txt README.html x64/Aperlume.8bf x64/aperlume.exe x86/Aperlume.8bf x86/aperlume.exe "
if [[ $listing != "$expected" ]]; then
  echo "package: $zip_file holds '$listing', expected '$expected'" >&2
  exit 1
fi
echo "wrote $zip_file ($(du -k "$zip_file" | cut -f1) KB)"

# ---- The installer: the staged files through scripts/installer.nsi.
build_installer() {  # output.exe
  local publisher
  publisher=$(sed -nE 's/.*kMakerHandle\[\] = "([^"]+)".*/\1/p' "$root/base/product_info.h")
  rm -f "$1"
  makensis -V2 -INPUTCHARSET UTF8 -DPRODUCT=Aperlume -DPUBLISHER="$publisher" -DVERSION="$version" \
    -DSTAGE="$stage" -DOUTFILE="$1" "$root/scripts/installer.nsi" >"$dist/installer.log" 2>&1 ||
    { cat "$dist/installer.log" >&2; return 1; }
  rm -f "$dist/installer.log"
  # One installer for every Windows: a 32-bit program.
  if ! i686-w64-mingw32-objdump -f "$1" | grep -q 'file format pei-i386'; then
    echo "package: $1 is not a 32-bit Windows program" >&2
    return 1
  fi
  echo "wrote $1 ($(du -k "$1" | cut -f1) KB)"
}
build_installer "$dist/$name-setup.exe"
# ---- end of the installer

rm -rf "$stage"

# The Debian package, from the native tree (see scripts/package_deb.sh).
deb_options=()
((do_build)) || deb_options=(--no-build)
"$root/scripts/package_deb.sh" "${deb_options[@]}"
