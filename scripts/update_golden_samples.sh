#!/usr/bin/env bash
# Writes the golden renders of the built-in sample (tests/data/golden) with the native tool of this
# checkout. Run by hand, only when a render is meant to change, and say why in the commit.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${APERLUME_BUILD_DIR:-$root/build}/native
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${APERLUME_JOBS:-2}" --target aperlume
cmake -DTOOL="$build/tools/aperlume/aperlume" -DGOLDEN="$root/tests/data/golden" -DUPDATE=ON \
  -P "$root/tests/golden/golden_sample.cmake"
