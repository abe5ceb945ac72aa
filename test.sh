#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
#   BUILD_DIR=dir        where to build (default: build)
#   CMAKE_ARGS="..."     extra configure arguments
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test

build=${BUILD_DIR:-build}
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja ${CMAKE_ARGS:-}
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j 2
