#!/usr/bin/env bash
# Installs what building, testing and running the program need, from Debian's packages.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev libsndfile1-dev libvorbis-dev libsdl2-dev libsoxr-dev libebur128-dev
    xvfb xauth imagemagick
    dpkg-dev lintian appstream desktop-file-utils file
)
if [ "${ROZIVOZE_FUZZ:-0}" = 1 ]; then packages+=(clang libclang-rt-14-dev); fi
if [ "${ROZIVOZE_BENCH:-0}" = 1 ]; then packages+=(vorbis-tools); fi  # oggenc: the encoding floor

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
