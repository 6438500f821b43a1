#!/bin/sh
# Installs the build and test dependencies from Debian packages.
# Does nothing when every package is already present. Extra packages that one
# script needs (gcovr for the coverage script) may be named as arguments.
set -eu

PACKAGES="build-essential cmake pkg-config qtbase5-dev libqt5opengl5-dev \
libeigen3-dev libtinygltf-dev libgtest-dev googletest \
xvfb xauth libgl1-mesa-dri libgl1-mesa-dev libegl-mesa0 libegl-dev libpng-dev python3 libboost-dev \
pybind11-dev python3-dev python3-numpy"

missing=""
for p in $PACKAGES "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

echo "Installing missing packages:$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# shellcheck disable=SC2086
$SUDO apt-get install -y --no-install-recommends $missing
