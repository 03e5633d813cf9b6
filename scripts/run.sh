#!/usr/bin/env bash
# Builds the kwolfunc host and runs it. With no arguments it assembles the
# bundled sample mail: the exact text the spam client would be given.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target kwolfunc -j "$(nproc)"
if (($# == 0)); then set -- assemble host/sample.eml; fi
exec build/native/host/kwolfunc "$@"
