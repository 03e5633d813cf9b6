#!/bin/sh
# The scenario tests (functions, decision, folders, content) of the native
# build under valgrind's memcheck: any invalid read or write, use of an
# undefined value, or leak fails the run. The deep-chain and depth-limit
# cases are left out: they are the same code as their shallow neighbours,
# run a hundred thousand times, which takes valgrind too long. GoogleTest's
# printing of test parameters is suppressed (valgrind.supp), and the case
# that fails an allocation through its own operator new is left out too:
# valgrind puts its own operator new in its place.
#
#   tests/robustness/valgrind.sh            # after cmake --build --preset native
set -eu
cd "$(dirname "$0")/../.."
status=0
for suite in functions decision folders content; do
    log=build/native/valgrind-$suite.log
    if nice -n 10 valgrind --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
        --suppressions=tests/robustness/valgrind.supp --log-file="$log" build/native/tests/${suite}_tests --gtest_brief=1 \
        --gtest_filter='-*DeepChain*:*InACircle*:*AFailureInsideAnAccessor*' >/dev/null 2>&1; then
        echo "$suite: clean"
    else
        echo "$suite: FAILED, see $log"
        status=1
    fi
done
exit $status
