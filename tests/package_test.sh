#!/usr/bin/env bash
# Builds the Debian package from the build tree, unpacks it into a scratch root and runs what it
# installed: the tools on a demo game folder, the program's --version. Then lintian must find no
# errors, and the metainfo and desktop entry must validate. Skipped (exit 77) where the Debian
# tools are missing.
set -euo pipefail
build=$1
demo_generator=$2

missing=()
for command in dpkg dpkg-deb dpkg-shlibdeps cpack lintian appstreamcli desktop-file-validate file; do
    command -v "$command" >/dev/null || missing+=("$command")
done
if [ ${#missing[@]} -ne 0 ]; then
    echo "skipped: the Debian package cannot be built and checked here (missing: ${missing[*]}; scripts/deps.sh installs them)"
    exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "$*"; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb=$(find "$scratch/package" -maxdepth 1 -name 'rozivoze_*.deb')
[ -n "$deb" ] || fail "cpack made no rozivoze_*.deb"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libsndfile1 libsdl2 libebur128; do
    grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Maintainer)" = "RozivOze developers <rozivoze@example.org>" ] || fail "wrong maintainer"

root="$scratch/root"
dpkg -x "$deb" "$root"
programs="$root/usr/libexec/rozivoze"
[ "$("$programs/kivo_sfx.exe" --version)" = "kivo_sfx.exe (RozivOze) 1.0" ] || fail "kivo_sfx.exe --version"
[ "$("$programs/kivo_stream.exe" --version)" = "kivo_stream.exe (RozivOze) 1.0" ] || fail "kivo_stream.exe --version"
[ "$("$programs/rozivoze" --version)" = "RozivOze 1.0" ] || fail "rozivoze --version"
"$programs/kivo_sfx.exe" --help | grep -q -- "-e <package>" || fail "kivo_sfx.exe --help"
for page in rozivoze kivo_sfx.exe kivo_stream.exe; do
    [ -s "$root/usr/share/man/man1/$page.1.gz" ] || fail "no man page for $page"
done

# The demo game is packed by the installed tools, then unpacked by them again.
game="$scratch/game"
work="$scratch/work"
mkdir -p "$work"
"$demo_generator" "$game" "$scratch/program" "$programs/kivo_sfx.exe" "$programs/kivo_stream.exe" >/dev/null
"$programs/kivo_sfx.exe" -e "$game/audio/SFX/GENRL" "$work" "$game/audio/CONFIG/BankLkup.dat"
"$programs/kivo_stream.exe" -e "$game/audio/streams/CH" "$work"
[ -f "$work/GENRL/sfx_import.ini" ] && [ -f "$work/CH/stream_import.ini" ] || fail "the installed tools unpacked nothing"

lintian --fail-on error "$deb" || fail "lintian reports errors"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.rozivoze.RozivOze.metainfo.xml" >/dev/null \
    || fail "the metainfo file does not validate"
desktop-file-validate "$root/usr/share/applications/rozivoze.desktop" || fail "the desktop entry does not validate"
echo "package built, installed into a scratch root and checked"
