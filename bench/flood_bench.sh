#!/usr/bin/env bash
# The station's window against a unit that floods the line for SECONDS: plain garbage, then garbage
# with end marks scattered through it.
#   bench/flood_bench.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
seconds=${2:-10}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
cp data/Protocol-example.txt "$work/Protocol.txt"

for kind in garbage marks; do
    extra=()
    [ "$kind" = marks ] && extra=(--flood-marks)
    "$build/sim/converter-sim" --link "$work/unit" --flood "$seconds" "${extra[@]}" \
        >/dev/null 2>"$work/sim.log" &
    sim=$!
    for _ in $(seq 50); do [ -e "$work/unit" ] && break; sleep 0.1; done
    result=$(cd "$work" && xvfb-run -a -s '-screen 0 1024x768x24' \
        "$build/bench/flood_bench" "$work/unit" "$seconds" 2>/dev/null) || true
    kill "$sim"; wait "$sim" 2>/dev/null || true
    flooded=$(grep -o 'flood over, [0-9]* bytes' "$work/sim.log" | grep -o '[0-9]*' || echo 0)
    rate=$(python3 -c "print(f'{$flooded / $seconds / 1e6:.2f}')")
    echo "== $kind flood: $rate MB/s on the line; $result"
done
