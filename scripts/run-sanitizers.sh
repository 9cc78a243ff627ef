#!/usr/bin/env bash
# Builds the test suite under the sanitizers and runs it:
#   address,undefined  the whole suite, in build-asan/
#   thread             the audio tests (engine, output, player, player strip, sound files opened
#                      while another thread opens others) and the toolkit's, in build-tsan/
# "bash scripts/run-sanitizers.sh asan" or "... tsan" runs one of the two; no argument runs both.
# Findings in our own code fail the run; only findings inside system libraries are suppressed,
# by the files named below.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
which=${1:-all}
status=0

if [ "$which" = all ] || [ "$which" = asan ]; then
    # -O1 keeps the instrumented suite quick enough to run on every test run.
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" \
        -DROZIVOZE_SANITIZE=address,undefined -DROZIVOZE_BUILD_BENCHMARKS=OFF >/dev/null
    cmake --build build-asan -j"$jobs"
    (
        cd build-asan
        export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
        export LSAN_OPTIONS="suppressions=$PWD/../tests/lsan.supp:print_suppressions=0"
        export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
        ctest --output-on-failure -j"$jobs"
    ) || status=1
fi

if [ "$which" = all ] || [ "$which" = tsan ]; then
    threadTests=(tst_Audio tst_Toolkit)
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" \
        -DROZIVOZE_SANITIZE=thread -DROZIVOZE_BUILD_BENCHMARKS=OFF >/dev/null
    cmake --build build-tsan -j"$jobs" --target "${threadTests[@]}"
    (
        cd build-tsan
        export TSAN_OPTIONS="suppressions=$PWD/../tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
        ctest --output-on-failure -j"$jobs" -R "^($(IFS='|'; echo "${threadTests[*]}"))\$"
    ) || status=1
fi
exit $status
