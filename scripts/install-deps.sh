#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Does nothing (and asks no package server) when all of them are present already.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
    libfltk1.3-dev librtmidi-dev libasound2-dev libx11-dev libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xdotool xclip x11-utils x11-apps imagemagick
    python3 python3-mido
    jackd2 libjack-jackd2-dev
    fluidsynth fluid-soundfont-gm
    libcairo2-dev libzstd-dev libpng-dev zlib1g-dev poppler-utils qpdf
    libdxflib-dev python3-ezdxf librsvg2-bin
    dpkg-dev file help2man lintian appstream desktop-file-utils man-db
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable realtime scheduling; answer it up front.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections 2>/dev/null || true
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
