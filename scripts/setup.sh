#!/usr/bin/env bash
# Installs what Kelvora needs to build, test and run its demo on Debian 12.
# ser2net is the serial device server the network-port tests put in front of
# the bus simulator.
# Only missing packages are installed; uses sudo when not run as root.
# "setup.sh packaging" also installs what building and checking the Debian
# package takes (scripts/package.sh calls it so).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config make
    qt6-base-dev qt6-serialport-dev libqt6printsupport6 libqt6test6 qt6-qpa-plugins
    libmodbus-dev socat mbpoll libbenchmark-dev ser2net
    clang libclang-rt-14-dev clang-format
    xvfb xauth x11-utils imagemagick fonts-dejavu-core xdotool poppler-utils python3
)
if [ "${1:-}" = packaging ]; then
    packages+=(dpkg-dev fakeroot lintian desktop-file-utils appstream man-db debootstrap)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: every package is present"
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
