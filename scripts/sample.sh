#!/usr/bin/env bash
# Builds the command-line tool and the plug-in module natively and blurs the built-in sample (a night
# street full of small lights) into out/: out/sample.png is the sample as drawn, out/sample-blurred.png
# the lens blur with a hexagonal aperture, and out/sample-mc.png and out/sample-fft.png the same through
# the Monte Carlo and FFT methods; last it prints where the tool is. Run `scripts/setup.sh native` (or
# scripts/setup.sh) first: a new tree is configured without the test suites and benchmarks, so it needs
# neither GoogleTest nor Wine; a tree the test command already made is used as it is.
# Environment: APERLUME_BUILD_DIR (default build), APERLUME_JOBS (default 2), APERLUME_OUT (default out).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${APERLUME_BUILD_DIR:-$root/build}/native
jobs=${APERLUME_JOBS:-2}
out=${APERLUME_OUT:-$root/out}

echo "=== build: $build"
mkdir -p "$build"
options=()
[[ -f $build/CMakeCache.txt ]] || options=(-DAPERLUME_TESTS=OFF -DAPERLUME_BENCH=OFF)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >"$build.sample-configure.log" 2>&1 ||
  { cat "$build.sample-configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target aperlume aperlume_module >"$build.sample-build.log" 2>&1 ||
  { tail -n 80 "$build.sample-build.log"; exit 1; }

tool=$build/tools/aperlume/aperlume
settings=(--amount 8 --vertices 6 --rotation 15 --brightness 30)
mkdir -p "$out"

echo "=== render: the built-in sample"
"$tool" "${settings[@]}" --sample "$out/sample-blurred.png" --write-sample "$out/sample.png"
echo "wrote $out/sample.png (the sample as drawn)"
echo "wrote $out/sample-blurred.png (lens blur: ${settings[*]})"

# The other two methods; a failure here does not spoil the main result above.
for method in mc fft; do
  if "$tool" "${settings[@]}" --method "$method" --sample "$out/sample-$method.png"; then
    echo "wrote $out/sample-$method.png (--method $method)"
  else
    echo "note: the $method render failed; $out/sample-blurred.png is unaffected" >&2
  fi
done

echo "the tool: $tool (try it with --help)"
echo "to install it into ~/.local/bin: cmake --install $build --prefix ~/.local"
