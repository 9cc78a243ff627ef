#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for FUZZ_SECONDS seconds
# (default 60), starting from the seed inputs in fuzz/corpus/. Prints, per target, the inputs
# executed, the size of the corpus it grew and the findings it saved; exits 1 when any target
# found something. Run a single target with: bash scripts/fuzz.sh fuzz_IniFile
set -euo pipefail
cd "$(dirname "$0")/.."
ROZIVOZE_FUZZ=1 bash scripts/deps.sh

seconds=${FUZZ_SECONDS:-60}
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROZIVOZE_FUZZ=ON \
    -DROZIVOZE_BUILD_TESTS=OFF -DROZIVOZE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target fuzz_all -j"$(nproc)"

# target, longest input, dictionary
targets=(
    "fuzz_IniFile 16384 metafile"
    "fuzz_SfxMetafile 16384 metafile"
    "fuzz_StreamMetafile 16384 metafile"
    "fuzz_Configuration 16384 configuration"
    "fuzz_StationNames 4096 stationnames"
    "fuzz_MetaData 16384 metadata"
    "fuzz_SfxPackage 65536 -"
    "fuzz_StreamArchive 65536 -"
)

export QT_QPA_PLATFORM=offscreen
# Leaks are findings too; tests/lsan.supp lists the only ones forgiven, inside system libraries.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TMPDIR="$PWD/$build/tmp"

status=0
summary=()
for entry in "${targets[@]}"; do
    read -r target maxlen dict <<<"$entry"
    [ $# -gt 0 ] && [[ " $* " != *" $target "* ]] && continue
    binary="$build/fuzz/$target"
    if [ ! -x "$binary" ]; then
        summary+=("$(printf '%-22s not built' "$target")")
        continue
    fi
    corpus="$build/corpus/$target"
    findings="$build/findings/$target"
    log="$build/logs/$target.log"
    mkdir -p "$corpus" "$findings" "$(dirname "$log")" "$TMPDIR"
    options=(-max_total_time="$seconds" -max_len="$maxlen" -len_control=0 -rss_limit_mb=2048 -timeout=20
             -print_final_stats=1 -artifact_prefix="$findings/")
    [ "$dict" != - ] && options+=(-dict="fuzz/dict/$dict.dict")
    echo "== $target ($seconds s)"
    # New inputs go into the first directory; the seeds in the repository stay as they are.
    "$binary" "${options[@]}" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1 || true
    executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    [ -z "$executions" ] && executions=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
    corpusSize=$(find "$corpus" -type f | wc -l)
    found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' -o -name 'slow-unit-*' \) | wc -l)
    summary+=("$(printf '%-22s executions %10s   corpus %6s   findings %3s' \
        "$target" "${executions:-0}" "$corpusSize" "$found")")
    if [ "$found" -gt 0 ]; then
        status=1
        find "$findings" -type f | sed 's/^/    /'
        grep -m3 -E 'ERROR|SUMMARY|fuzz check failed|qFatal' "$log" | sed 's/^/    /' || true
    fi
done
rm -rf "$TMPDIR"

echo
printf '%s\n' "${summary[@]}"
exit $status
