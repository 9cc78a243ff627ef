#!/usr/bin/env bash
# Installs the build into a temporary prefix and starts the installed program through its
# launcher, offscreen, the way the desktop menu would: every file must be where the program and the
# desktop look for it, and the program must come up and stay up.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/rozivoze libexec/rozivoze/rozivoze libexec/rozivoze/kivo_sfx.exe \
            libexec/rozivoze/kivo_stream.exe libexec/rozivoze/configuration.ini \
            libexec/rozivoze/metadata-full.ini libexec/rozivoze/MetaData.xml \
            share/applications/rozivoze.desktop share/icons/hicolor/32x32/apps/rozivoze.png; do
    [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
grep -qx 'Exec=rozivoze' "$prefix/share/applications/rozivoze.desktop"

home="$prefix/home"
mkdir -p "$home/work" "$home/game"
printf '[General]\nWorkingDirectory=%s\nGtaDirectory=%s\n' "$home/work" "$home/game" > "$home/settings.ini"

ROZIVOZE_HOME="$home" QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy "$prefix/bin/rozivoze" &
program=$!
sleep 3
if ! kill -0 "$program" 2>/dev/null; then
    wait "$program" || true
    echo "the installed program ended early"
    exit 1
fi
kill "$program"
wait "$program" 2>/dev/null || true

for tool in kivo_sfx.exe kivo_stream.exe; do
    [ -x "$home/$tool" ] || { echo "the launcher left no working link to $tool"; exit 1; }
done
echo "installed program started"
