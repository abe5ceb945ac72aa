#!/usr/bin/env bash
# Installs what is missing, builds, and runs the station against a simulated converter unit on a
# virtual serial line. Options are passed to the simulated unit (see: build/sim/converter-sim
# --help), e.g. ./run.sh --fail tx-rx --software-ts
set -euo pipefail
cd "$(dirname "$0")"
top=$(pwd)
scripts/install-deps.sh run

cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target converter-station converter-sim

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "Run the station on a desktop, or without one under a virtual X server:" >&2
    echo "    xvfb-run -a ./run.sh" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/converter-station.XXXXXX")
sim=
cleanup() {
    if [ -n "$sim" ]; then
        kill "$sim" 2>/dev/null || true
        wait "$sim" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cp data/Protocol-example.txt "$work/Protocol.txt"
unit="$work/unit"
build/sim/converter-sim --link "$unit" "$@" >/dev/null 2>"$work/sim.log" &
sim=$!
for _ in $(seq 50); do
    [ -e "$unit" ] && break
    kill -0 "$sim" 2>/dev/null || { echo "The simulated unit did not start." >&2; exit 1; }
    sleep 0.1
done

echo
echo "The simulated unit is on a virtual serial line. Type this into \"Comm Port\","
echo "then press Start Test:"
echo
echo "    $unit"
echo
cd "$work"
"$top/build/app/converter-station"
