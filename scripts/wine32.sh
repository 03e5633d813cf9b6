#!/usr/bin/env bash
# Runs the Wine checks on the 32-bit KWOLFunc.dll, on a machine where 32-bit
# Wine is installed (wine32:i386). Not part of scripts/test.sh: Debian's
# 32-bit Wine cannot be installed everywhere, and the test command must not
# depend on it. Builds into build/mingw-x86-wine.
set -euo pipefail
cd "$(dirname "$0")/.."
wine=/usr/lib/wine/wine
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" || [ ! -x "$wine" ]; then
  echo "32-bit Wine (wine32:i386) is not installed; nothing run." >&2
  exit 1
fi
cmake --preset mingw-x86 -B build/mingw-x86-wine -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" >/dev/null
cmake --build build/mingw-x86-wine -j "$(nproc)"
ctest --test-dir build/mingw-x86-wine -L 'wine|dll' --output-on-failure
