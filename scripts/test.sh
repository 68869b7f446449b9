#!/usr/bin/env bash
# Builds the three targets (native, and the 32-bit and 64-bit Windows modules) plus a sanitizer build and
# a fuzz build, and runs every test suite: natively, under AddressSanitizer/UndefinedBehaviorSanitizer,
# the fuzz harnesses (clang's libFuzzer, a fixed number of inputs from a fixed seed each), and both
# Windows builds under Wine inside a virtual X server, then packs the release zip and the installer from
# the Windows trees and the Debian package from the native one (scripts/package.sh --no-build, into
# build/dist), tries the installer under Wine (tests/installer/wine_installer_test.sh) and the Debian
# package unpacked. Exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${APERLUME_BUILD_DIR:-$root/build}
jobs=${APERLUME_JOBS:-2}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
status=0

configure_and_build() {  # name, extra cmake args...
  local name=$1; shift
  echo "=== build: $name"
  # Tests on explicitly: scripts/sample.sh may have made the native tree without them.
  cmake -S "$root" -B "$build/$name" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAPERLUME_WERROR=ON \
    -DAPERLUME_TESTS=ON "$@" \
    >"$build/$name.configure.log" 2>&1 || { cat "$build/$name.configure.log"; return 1; }
  cmake --build "$build/$name" -j "$jobs" >"$build/$name.build.log" 2>&1 || { tail -n 80 "$build/$name.build.log"; return 1; }
}

run_tests() {  # name, [wrapper...]
  local name=$1; shift
  echo "=== test: $name"
  (cd "$build/$name" && "$@" ctest --output-on-failure -j "$jobs" --timeout 1500) || return 1
}

mkdir -p "$build"

# The GEGL operation is required here, so that a machine without libgegl-dev fails instead of testing less.
if configure_and_build native -DAPERLUME_BENCH=ON -DAPERLUME_GEGL=ON &&
   configure_and_build asan -DAPERLUME_SANITIZE=ON -DAPERLUME_BENCH=OFF -DAPERLUME_GEGL=ON; then
  run_tests native || status=1
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests asan || status=1
else
  status=1
fi

# The fuzz tree builds only the harnesses (and what they link) with clang; each CTest entry is one
# harness's deterministic run over its seed corpus.
echo "=== build: fuzz"
if CC=clang CXX=clang++ cmake -S "$root" -B "$build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
     -DAPERLUME_WERROR=ON -DAPERLUME_FUZZ=ON -DAPERLUME_BENCH=OFF >"$build/fuzz.configure.log" 2>&1 &&
   cmake --build "$build/fuzz" -j "$jobs" --target aperlume_fuzzers >"$build/fuzz.build.log" 2>&1; then
  echo "=== test: fuzz"
  (cd "$build/fuzz" && ctest --output-on-failure -L fuzz -j "$jobs" --timeout 1500) || status=1
else
  tail -n 80 "$build/fuzz.configure.log" "$build/fuzz.build.log"
  status=1
fi

windows_built=1
for arch in i686 x86_64; do
  name=win-$arch
  export WINEPREFIX=$build/wineprefix-$arch
  "$root/scripts/wine_prefix.sh" "$WINEPREFIX"
  if configure_and_build "$name" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$arch-w64-mingw32.cmake"; then
    # One test program per Wine start, serially: windows and a shared prefix do not like company.
    APERLUME_JOBS=1 jobs=1 run_tests "$name" xvfb-run -a -s "-screen 0 1280x1024x24" || status=1
  else
    status=1 windows_built=0
  fi
  wineserver -k 2>/dev/null || true
done

# The release zip and installer from the two Windows trees just built: the zip's listing, imports,
# and each tool run with the module beside it; then the installer installed, used and uninstalled
# under Wine in fresh prefixes. The Debian package from the native tree: lintian, and the unpacked
# tool, operation and manual page tried.
if ((windows_built)); then
  echo "=== package"
  rm -f "$build"/dist/aperlume-*-setup.exe
  if APERLUME_DIST=$build/dist "$root/scripts/package.sh" --no-build; then
    setup=("$build"/dist/aperlume-*-setup.exe)
    "$root/tests/installer/wine_installer_test.sh" "${setup[0]}" "$build/installer-test" || status=1
  else
    status=1
  fi
fi

if ((status == 0)); then echo "=== all test suites passed"; else echo "=== some test suites FAILED"; fi
exit $status
