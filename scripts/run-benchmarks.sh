#!/usr/bin/env bash
# Builds in release mode and runs every benchmark; each prints its figures and its goal.
set -euo pipefail
cd "$(dirname "$0")/.."
ROZIVOZE_BENCH=1 bash scripts/deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-release -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
status=0
for bench in build-release/bench/bench_*; do
    # Files only: the bench_*_autogen folders are executable too.
    [ -f "$bench" ] && [ -x "$bench" ] || continue
    echo "== $(basename "$bench")"
    "$bench" || status=1
done
exit $status
