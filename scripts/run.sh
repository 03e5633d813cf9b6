#!/usr/bin/env bash
# Builds the component and runs its main job on built-in defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target kwolfunc-scenario -j "$(nproc)"
exec build/native/host/kwolfunc-scenario "$@"
