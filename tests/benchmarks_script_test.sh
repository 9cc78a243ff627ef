#!/usr/bin/env bash
# Runs scripts/run-benchmarks.sh over a stand-in release build, with building stubbed out: it must
# run each benchmark program and nothing else, such as the bench_*_autogen folders beside them.
set -euo pipefail
source_root=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

mkdir -p "$scratch/scripts" "$scratch/bin" "$scratch/build-release/bench/bench_Stand_autogen"
cp "$source_root/scripts/run-benchmarks.sh" "$scratch/scripts/"
printf '#!/bin/sh\nexit 0\n' > "$scratch/scripts/deps.sh"
printf '#!/bin/sh\nexit 0\n' > "$scratch/bin/cmake"
printf '#!/bin/sh\necho stand-in ran\n' > "$scratch/build-release/bench/bench_Stand"
chmod +x "$scratch/bin/cmake" "$scratch/build-release/bench/bench_Stand"

output=$(PATH="$scratch/bin:$PATH" bash "$scratch/scripts/run-benchmarks.sh" 2>&1) || { echo "$output"; exit 1; }
[ "$output" = "$(printf '== bench_Stand\nstand-in ran')" ] || { echo "unexpected output: $output"; exit 1; }
