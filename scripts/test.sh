#!/usr/bin/env bash
# Builds everything and runs every test: the native and sanitizer builds with
# their tests, the fuzz targets for a fixed number of runs, and the two
# Windows cross builds, whose 64-bit checks run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

for preset in native asan; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
ctest --test-dir build/fuzz -L fuzz --output-on-failure

for preset in mingw-x64 mingw-x86; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
ctest --test-dir build/mingw-x86 -L dll --output-on-failure
ctest --test-dir build/mingw-x64 -L 'wine|dll' --output-on-failure
echo "All builds and tests passed."
