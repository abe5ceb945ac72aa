#!/usr/bin/env bash
# Wall time of a whole `converter-check --polls 4` run against a healthy simulated unit, from
# start to exit status: median, fastest and slowest of RUNS runs; then the decoding cost of one
# reply from station_bench. Four polls take four whole poll periods, 2 s, by design: the first
# goes out at once, and the check ends when the fourth poll's period is over.
#   bench/check_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-10}
work=$(mktemp -d)
# Runs are recorded in a store of this script's own, never in the account's.
export XDG_DATA_HOME="$work/data"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

"$build/sim/converter-sim" --link "$work/unit" >/dev/null 2>&1 &
for _ in $(seq 50); do [ -e "$work/unit" ] && break; sleep 0.1; done
cp "$(dirname "$0")/../data/Protocol-example.txt" "$work/Protocol.txt"

times=()
for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    (cd "$work" && "$build/check/converter-check" "$work/unit" --polls 4 >/dev/null 2>&1)
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
done
printf '%s\n' "${times[@]}" | sort -n | awk -v runs="$runs" '
    { t[NR] = $1 }
    END {
        median = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
        printf "converter-check --polls 4, %d runs: median %.1f ms, fastest %.1f ms, slowest %.1f ms (budget 2100 ms)\n",
            runs, median / 1000, t[1] / 1000, t[NR] / 1000
    }'
"$build/bench/station_bench" --benchmark_filter='completeReply' 2>/dev/null | grep -E '^completeReply' || true
