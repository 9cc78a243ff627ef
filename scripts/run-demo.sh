#!/usr/bin/env bash
# Builds the program and its toolkit, writes a demo game folder on first use, and starts the
# program on it from a run folder that holds the two tools and a settings.ini, the way the
# program expects to be started: double-click an archive in the tree and its sounds are listed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh

build="$root/build-demo"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DROZIVOZE_BUILD_TESTS=OFF -DROZIVOZE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target rozivoze kivo_sfx kivo_stream demo_generator

# The program reads configuration.ini, metadata-full.ini and MetaData.xml from its own folder.
program_dir="$build/src"
game="$build/demo-game"
if [ ! -d "$game" ] || [ ! -f "$program_dir/configuration.ini" ]; then
    rm -rf "$game"
    "$build/demo/demo_generator" "$game" "$program_dir"
fi

# settings.ini and the tools are looked for in the current folder.
run="$build/demo-run"
mkdir -p "$run/work"
for tool in kivo_sfx.exe kivo_stream.exe; do
    ln -sfn "$build/toolkit/$tool" "$run/$tool"
done
if [ ! -f "$run/settings.ini" ]; then
    cat > "$run/settings.ini" <<SETTINGS
[General]
WorkingDirectory="$run/work"
GtaDirectory="$game"
UseKivoMetadata=true
SETTINGS
fi

cd "$run"
# The tools are started by their bare names; finding them on PATH as well works wherever the
# platform looks for such names.
export PATH="$run:$PATH"
echo "Demo game folder: $game"
echo "Working directory: $run/work"
exec "$program_dir/rozivoze" "$@"
