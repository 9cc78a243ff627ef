#!/usr/bin/env bash
# Takes the README's pictures: the program on the demo game folder, in a real window under Xvfb.
# Writes docs/screenshots/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/deps.sh

build="$root/build-demo"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DROZIVOZE_BUILD_TESTS=OFF -DROZIVOZE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target rozivoze kivo_sfx kivo_stream demo_generator demo_screenshots

game="$build/demo-game"
if [ ! -d "$game" ] || [ ! -f "$build/src/configuration.ini" ]; then
    rm -rf "$game"
    "$build/demo/demo_generator" "$game" "$build/src"
fi
# Like the program, the picture taker reads the configuration files from its own folder.
for file in configuration.ini metadata-full.ini MetaData.xml; do
    cp "$build/src/$file" "$build/demo/$file"
done

# A fresh run folder, so the pictures always show a first unpacking.
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
mkdir -p "$run/work"
ln -s "$build/toolkit/kivo_sfx.exe" "$run/kivo_sfx.exe"
ln -s "$build/toolkit/kivo_stream.exe" "$run/kivo_stream.exe"
cat > "$run/settings.ini" <<SETTINGS
[General]
WorkingDirectory=$run/work
GtaDirectory=$game
UseKivoMetadata=true
SETTINGS

mkdir -p "$root/docs/screenshots"
cd "$run"
SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} xvfb-run -a -s "-screen 0 1280x800x24" \
    "$build/demo/demo_screenshots" "$root/docs/screenshots"
