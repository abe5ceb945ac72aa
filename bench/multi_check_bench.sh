#!/usr/bin/env bash
# Several units at once: wall time and CPU time of one `converter-check --polls 4` run over 1, 8
# and 32 simulated units, each on its own pty; the median of RUNS runs for each count. The goal:
# 32 units in no more than the time of one plus 300 ms, under 10% of one core.
#   bench/multi_check_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-5}
work=$(mktemp -d)
# Runs are recorded in a store of this script's own, never in the account's.
export XDG_DATA_HOME="$work/data"
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
cp "$(dirname "$0")/../data/Protocol-example.txt" "$work/Protocol.txt"

for i in $(seq 32); do
    "$build/sim/converter-sim" --link "$work/unit$i" >/dev/null 2>&1 &
done
for i in $(seq 32); do
    for _ in $(seq 50); do [ -e "$work/unit$i" ] && break; sleep 0.1; done
done

TIMEFORMAT='%R %U %S'
for count in 1 8 32; do
    ports=()
    for i in $(seq "$count"); do ports+=("$work/unit$i"); done
    for _ in $(seq "$runs"); do
        { time (cd "$work" && "$build/check/converter-check" "${ports[@]}" --polls 4 \
            >/dev/null 2>&1); } 2>>"$work/times$count"
    done
    # Each column's median on its own.
    cpu=$(awk '{ printf "%.3f\n", $2 + $3 }' "$work/times$count" | sort -n |
        awk '{ c[NR] = $1 } END { print c[int((NR + 1) / 2)] }')
    sort -n "$work/times$count" | awk -v count="$count" -v runs="$runs" -v median_cpu="$cpu" '
        { wall[NR] = $1 }
        END {
            m = int((NR + 1) / 2)
            cpu[m] = median_cpu
            printf "%2d units, %d runs: median wall %.0f ms (fastest %.0f, slowest %.0f), median CPU %.0f ms = %.1f%% of a core\n",
                count, runs, wall[m] * 1000, wall[1] * 1000, wall[NR] * 1000, cpu[m] * 1000,
                100 * cpu[m] / wall[m]
        }'
done
