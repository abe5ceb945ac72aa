#!/usr/bin/env bash
# Pictures of the station in mid-test under Xvfb, for the README: one with a healthy unit, one
# with failed line tests and disagreeing TS modes.
#   scripts/screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target station_screenshot converter-sim >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp data/Protocol-example.txt "$work/Protocol.txt"

shoot() {
    local output=$1; shift
    "$build/sim/converter-sim" --link "$work/unit" "$@" >/dev/null 2>&1 &
    local sim=$!
    for _ in $(seq 50); do [ -e "$work/unit" ] && break; sleep 0.1; done
    (cd "$work" && xvfb-run -a -s '-screen 0 640x480x24' \
        "$OLDPWD/$build/tests/station_screenshot" "$work/unit" "$OLDPWD/$output")
    kill "$sim"; wait "$sim" 2>/dev/null || true
    echo "wrote $output"
}

shoot docs/station-healthy.png --protocol 4 --unit-version 12 --software-ts --hardware-ts \
    --start-source gps --end-source irig-b
shoot docs/station-failing.png --protocol 7 --unit-version 12 --software-ts \
    --fail rts-cts --fail tx-rx --start-source internal --end-source gps
