#!/usr/bin/env bash
# Installs the Debian packages the station needs to build, test and run, when any is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config python3
    qt6-base-dev qt6-serialport-dev fonts-dejavu-core
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-utils libxcb1-dev
    clang libclang-rt-14-dev clang-format
    dpkg-dev desktop-file-utils lintian appstream scdoc
    libcanberra-dev libcanberra-pulse sound-theme-freedesktop pulseaudio pulseaudio-utils weston qt6-wayland
    dbus-daemon at-spi2-core python3-pyatspi python3-junitparser strace
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
