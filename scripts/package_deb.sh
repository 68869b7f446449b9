#!/usr/bin/env bash
# Writes the Debian package dist/aperlume_<version>_amd64.deb from the native build tree that the test
# command uses (build/native):
#   /usr/bin/aperlume                                  the command-line tool
#   /usr/lib/aperlume/libaperlume_plugin.so            the plug-in module it loads
#   /usr/lib/x86_64-linux-gnu/gegl-0.4/aperlume.so     the GEGL operation, where GIMP and gegl find it
#   /usr/share/man/man1/aperlume.1.gz                  the manual page (help2man, docs/man/)
#   /usr/share/doc/aperlume/{copyright,changelog.gz,README.md.gz}   the licence, the release, the README
# Its dependencies are what dpkg-shlibdeps finds the binaries linking; lintian must report no error (its
# warnings are printed). Then the package is unpacked into a scratch root and tried there: the unpacked
# tool renders the built-in sample, the gegl command renders it with the unpacked operation (the tool's
# image to the pixel), and man renders the page with its sections. scripts/package.sh runs this after
# the release zip; run scripts/setup.sh first.
#
# Usage: scripts/package_deb.sh [--no-build]   --no-build packs what build/native holds, building nothing
# Environment: APERLUME_BUILD_DIR (default build), APERLUME_JOBS (default 2), APERLUME_DIST (default dist).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${APERLUME_BUILD_DIR:-$root/build}
jobs=${APERLUME_JOBS:-2}
dist=${APERLUME_DIST:-$root/dist}
tree=$build/native
do_build=1
case ${1:-} in
  "") ;;
  --no-build) do_build=0 ;;
  *) echo "usage: $0 [--no-build]" >&2; exit 2 ;;
esac

version=$(sed -nE 's/^project\(Aperlume VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
[[ -n $version ]] || { echo "package: no project version in CMakeLists.txt" >&2; exit 1; }
deb=$dist/aperlume_${version}_amd64.deb
maintainer="Tamsor <aperlume@tamsor.org>"
gegl_folder=$(pkg-config --variable=pluginsdir gegl-0.4)

if ((do_build)); then
  echo "=== build: native (for the Debian package)"
  # The test command's configuration, so that the two share one tree.
  cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPERLUME_WERROR=ON -DAPERLUME_TESTS=ON \
    -DAPERLUME_BENCH=ON -DAPERLUME_GEGL=ON >"$tree.deb-configure.log" 2>&1 || { cat "$tree.deb-configure.log"; exit 1; }
  cmake --build "$tree" -j "$jobs" --target aperlume aperlume_module aperlume_gegl_op aperlume_man \
    >"$tree.deb-build.log" 2>&1 || { tail -n 80 "$tree.deb-build.log"; exit 1; }
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The package's tree where dpkg-shlibdeps expects it: debian/<package> of a source tree.
stage=$work/source/debian/aperlume
DESTDIR=$stage cmake --install "$tree" --prefix /usr >/dev/null
for file in usr/bin/aperlume usr/lib/aperlume/libaperlume_plugin.so "${gegl_folder#/}/aperlume.so" \
            usr/share/man/man1/aperlume.1; do
  [[ -f $stage/$file ]] || { echo "package: $tree installs no /$file (build it, or run without --no-build)" >&2; exit 1; }
done

# What dh_strip, dh_fixperms and dh_compress would do: no debug information or notes, modules not
# executable, manual pages and long documents compressed reproducibly.
strip --remove-section=.comment --remove-section=.note "$stage/usr/bin/aperlume"
for module in "$stage/usr/lib/aperlume/libaperlume_plugin.so" "$stage/$gegl_folder/aperlume.so"; do
  strip --remove-section=.comment --remove-section=.note --strip-unneeded "$module"
  chmod 0644 "$module"
done
gzip -9n "$stage/usr/share/man/man1/aperlume.1"
doc=$stage/usr/share/doc/aperlume
mkdir -p "$doc"
gzip -9n <"$root/README.md" >"$doc/README.md.gz"
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: Aperlume"
  echo
  echo "Files: *"
  sed -n 's/^Copyright (c)/Copyright:/p' "$root/LICENSE"
  echo "License: Expat"
  sed -e '1,/^Copyright/d' -e 's/^$/./' -e 's/^/ /' "$root/LICENSE"
} >"$doc/copyright"
# The release's date is its last commit's, so that the same tree makes the same package.
released=$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)
{
  echo "aperlume ($version) unstable; urgency=medium"
  echo
  echo "  * Release $version: the command-line tool, its plug-in module and the"
  echo "    GEGL operation aperlume:lens-blur."
  echo
  echo " -- $maintainer  $(LC_ALL=C date -R -u -d "@$released")"
} | gzip -9n >"$doc/changelog.gz"

# The libraries the binaries really link, as package dependencies (dpkg-shlibdeps needs the source
# package's control file to exist).
printf 'Source: aperlume\n\nPackage: aperlume\nArchitecture: amd64\n' >"$work/source/debian/control"
mkdir -p "$stage/DEBIAN"
depends=$(cd "$work/source" && dpkg-shlibdeps -O debian/aperlume/usr/bin/aperlume \
            debian/aperlume/usr/lib/aperlume/libaperlume_plugin.so "debian/aperlume$gegl_folder/aperlume.so" |
          sed -n 's/^shlibs:Depends=//p')
[[ -n $depends ]] || { echo "package: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

cat >"$stage/DEBIAN/control" <<EOF
Package: aperlume
Version: $version
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $depends
Suggests: gimp, gegl
Section: graphics
Priority: optional
Description: lens blur for images, on the command line and in GIMP
 Aperlume blurs an image as an out-of-focus camera lens would: every point
 spreads over the shape of an aperture (a disc, a streak or a polygon of three
 to eight corners, turned, with a brighter or darker centre, optionally
 anti-aliased), and bright points bloom into visible aperture shapes. A depth
 map can keep one depth sharp.
 .
 The package holds the command-line tool aperlume, which blurs PNG, JPEG and
 TIFF files, and the same filter as the GEGL operation aperlume:lens-blur for
 GIMP's GEGL Operation tool and the gegl command.
EOF
(cd "$stage" && find usr -type f -exec md5sum {} + | sort -k2) >"$stage/DEBIAN/md5sums"

# Every file dated by the release, so that the same tree makes the same package.
find "$stage" -exec touch -h -d "@$released" {} +
mkdir -p "$dist"
rm -f "$deb"
SOURCE_DATE_EPOCH=$released dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "=== lintian: $(basename "$deb")"
lintian --fail-on error --display-level '>=warning' "$deb" || { echo "package: lintian reports errors" >&2; exit 1; }

# The package as a user gets it, unpacked into a scratch root.
unpacked=$work/unpacked
dpkg-deb -x "$deb" "$unpacked"
(cd "$work" && "$unpacked/usr/bin/aperlume" --amount 8 --vertices 6 --brightness 40 --sample tool.png \
   --write-sample sample.png >/dev/null 2>&1) ||
  { echo "package: the unpacked tool did not render the built-in sample" >&2; exit 1; }
GEGL_PATH=$unpacked$gegl_folder:$gegl_folder gegl -- gegl:load path="$work/sample.png" \
  aperlume:lens-blur amount=8 vertices=6 brightness=40 gegl:png-save path="$work/gegl.png" bitdepth=8 >/dev/null 2>&1 || true
differing=$(compare -metric AE "$work/tool.png" "$work/gegl.png" null: 2>&1 || true)
if [[ $differing != 0 ]]; then
  echo "package: the gegl command with the unpacked operation did not give the tool's image ($differing)" >&2
  exit 1
fi
page=$(MANWIDTH=100 man -l "$unpacked/usr/share/man/man1/aperlume.1.gz" 2>&1)
for section in NAME SYNOPSIS SETTINGS OPTIONS "EXIT STATUS" FILES EXAMPLES; do
  grep -q "^$section\$" <<<"$page" || { echo "package: the manual page has no $section section" >&2; exit 1; }
done
echo "checked: the unpacked tool renders the sample, gegl renders it with the unpacked operation, man shows the page"
echo "wrote $deb ($(du -k "$deb" | cut -f1) KB)"
