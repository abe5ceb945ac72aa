#!/usr/bin/env bash
# Installs the Debian packages the station needs, when any is missing: `run` what building and
# running it needs, `test` (the default) that and what testing needs.
#   scripts/install-deps.sh [run|test] [--print]   (--print: list the set, install nothing)
set -euo pipefail
# shellcheck source=toolchain.sh
. "$(dirname "$0")/toolchain.sh"

# What building and running the station needs (./run.sh): the compiler, Qt, the libraries the
# configure step looks for, the face the window is laid out in, the bell and its sounds, and the
# tool that writes the manual pages, and the time zones converter-results tells days by.
run_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-serialport-dev qt6-wayland fonts-dejavu-core
    libgtest-dev libgmock-dev libbenchmark-dev libxcb1-dev
    libcanberra-dev libcanberra-pulse sound-theme-freedesktop scdoc
    libsqlite3-dev libpq-dev tzdata
)
# What the test suite and CI need besides (./test.sh, .ci/run): a virtual X server and a keyboard
# that types into it as a barcode scanner does, the fuzzing
# compiler and the formatter, the package checkers, a Wayland compositor and a sound server, the
# accessibility bus and the screen readers' client library, a JUnit reader and a schema validator
# for the reports, strace, jq for the README's examples, and a PostgreSQL server that the push test
# starts on its own (installed with no cluster of its own: see below).
test_packages=(
    python3 xvfb xauth x11-utils xdotool
    "clang-$llvm_version" "libclang-rt-$llvm_version-dev" "clang-format-$llvm_version"
    dpkg-dev desktop-file-utils lintian appstream
    pulseaudio pulseaudio-utils weston
    dbus-daemon at-spi2-core python3-pyatspi python3-junitparser libxml2-utils strace jq
    postgresql-common postgresql-15
)

case "${1:-test}" in
    run) packages=("${run_packages[@]}") ;;
    test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
    *)
        echo "usage: install-deps.sh [run|test] [--print]" >&2
        exit 64
        ;;
esac
if [ "${2:-}" = --print ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

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
# The server is for the tests, which start their own in a private folder: the system's default
# cluster is never created, so none is left running.
if [[ " ${missing[*]} " == *" postgresql-15 "* ]]; then
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends postgresql-common
    "${sudo[@]}" sed -i 's/^#* *create_main_cluster *=.*/create_main_cluster = false/' \
        /etc/postgresql-common/createcluster.conf
fi
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
