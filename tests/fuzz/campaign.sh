#!/bin/sh
# A long fuzzing campaign: each libFuzzer target in turn, from its seed
# corpus and what earlier campaigns found, for up to RUNS executions or
# SECONDS seconds, whichever comes first, at low priority.
#
#   tests/fuzz/campaign.sh [target ...]        # default: every target
#   RUNS=10000000 SECONDS_PER_TARGET=3600 tests/fuzz/campaign.sh eml
#
# Each target runs with the options of its short run in the test command
# (read from ctest, so the two never differ) except the number of runs and
# the seed. The corpus grows in build/fuzz/campaign/<target>/corpus; inputs
# that crash, leak or time out are written next to it as crash-*, leak-* and
# timeout-*. The last line per target gives the executions and the findings.
set -eu
cd "$(dirname "$0")/../.."
RUNS=${RUNS:-10000000}
# The file targets write and flush a file per run: on a disk the flush, not
# the code under test, sets the pace, so temporary files go to memory.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then TMPDIR=/dev/shm; export TMPDIR; fi
SECONDS_PER_TARGET=${SECONDS_PER_TARGET:-3600}

[ -f build/fuzz/build.ninja ] || cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
targets=${*:-"rewriteheader regfile inifile assembly dumpvariable eml"}
for target in $targets; do
    out=build/fuzz/campaign/$target
    mkdir -p "$out/corpus"
    # The short run's command line, with the campaign's corpus and limits.
    command=$(ctest --test-dir build/fuzz -R "^${target}_fuzz\$" --show-only=json-v1 | python3 -c '
import json, shlex, sys
target, out = sys.argv[1], sys.argv[2]
test = next(t for t in json.load(sys.stdin)["tests"] if t["name"] == target + "_fuzz")
keep = [a for a in test["command"] if not a.startswith(("-runs=", "-seed=")) and not a.endswith("_corpus")]
print(shlex.join(keep[:1] + [out + "/corpus"] + keep[1:]))' "$target" "$out")
    log=$out/campaign.log
    # shellcheck disable=SC2086
    nice -n 10 $command -runs="$RUNS" -max_total_time="$SECONDS_PER_TARGET" -seed=0 -print_final_stats=1 \
        -artifact_prefix="$out/" >"$log" 2>&1 || true
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    findings=$(find "$out" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    echo "$target: ${executed:-?} executions, $findings findings ($log)"
done
