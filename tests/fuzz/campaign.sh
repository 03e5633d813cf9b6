#!/bin/sh
# A long fuzzing campaign: each libFuzzer target in turn, from its seed
# corpus and what earlier campaigns found, for up to RUNS executions or
# SECONDS_PER_TARGET seconds, whichever comes first, at low priority.
#
#   tests/fuzz/campaign.sh [target ...]        # default: every target
#   RUNS=10000000 SECONDS_PER_TARGET=7800 tests/fuzz/campaign.sh eml
#
# The campaign runs in the fuzz-campaign build (UndefinedBehaviorSanitizer
# only, about twice the speed), and then replays the whole corpus it grew
# once under the fuzz build (AddressSanitizer and UndefinedBehaviorSanitizer),
# so every input it found is also checked for memory errors and leaks.
# FUZZ_PRESET=fuzz runs the campaign itself under both.
#
# Each target runs with the options of its short run in the test command
# (read from ctest, so the two never differ) except the number of runs and
# the seed. The corpus grows in build/fuzz/campaign/<target>/corpus; inputs
# that crash, leak or time out are written next to it as crash-*, leak-* and
# timeout-*. The last line per target gives the executions, the findings and
# the replay's outcome.
set -eu
cd "$(dirname "$0")/../.."
RUNS=${RUNS:-10000000}
# The file targets write and flush a file per run: on a disk the flush, not
# the code under test, sets the pace, so temporary files go to memory.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then TMPDIR=/dev/shm; export TMPDIR; fi
SECONDS_PER_TARGET=${SECONDS_PER_TARGET:-3600}
FUZZ_PRESET=${FUZZ_PRESET:-fuzz-campaign}

for preset in fuzz "$FUZZ_PRESET"; do
    [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" >/dev/null
done
targets=${*:-"rewriteheader regfile inifile assembly dumpvariable eml"}

# The short run's command line of a target in a build, with a corpus first.
command_of() {
    ctest --test-dir "build/$1" -R "^${2}_fuzz\$" --show-only=json-v1 | python3 -c '
import json, shlex, sys
target, corpus = sys.argv[1], sys.argv[2]
test = next(t for t in json.load(sys.stdin)["tests"] if t["name"] == target + "_fuzz")
keep = [a for a in test["command"] if not a.startswith(("-runs=", "-seed=")) and not a.endswith("_corpus")]
print(shlex.join(keep[:1] + [corpus] + keep[1:]))' "$2" "$3"
}

for target in $targets; do
    out=build/fuzz/campaign/$target
    mkdir -p "$out/corpus"
    log=$out/campaign.log
    # shellcheck disable=SC2086
    nice -n 10 $(command_of "$FUZZ_PRESET" "$target" "$out/corpus") -runs="$RUNS" -max_total_time="$SECONDS_PER_TARGET" \
        -seed=0 -print_final_stats=1 -artifact_prefix="$out/" >"$log" 2>&1 || true
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    replay="replayed"
    if [ "$FUZZ_PRESET" != fuzz ]; then
        # -runs=0: every input of the corpus once, and nothing new.
        # shellcheck disable=SC2086
        nice -n 10 $(command_of fuzz "$target" "$out/corpus") -runs=0 -artifact_prefix="$out/" >"$out/replay.log" 2>&1 ||
            replay="replay FAILED ($out/replay.log)"
    fi
    findings=$(find "$out" -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    echo "$target: ${executed:-?} executions, $findings findings, corpus $replay under AddressSanitizer ($log)"
done
