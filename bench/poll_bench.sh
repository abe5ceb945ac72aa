#!/usr/bin/env bash
# Poll period on the wire, reply-to-field latency and the station's CPU use, against the
# simulated unit: one run with a healthy unit, one with the unit unplugged after two polls.
#   bench/poll_bench.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

run() {
    local name=$1; shift
    "$build/sim/converter-sim" --link "$work/unit" --log "$work/$name.sim" "$@" >/dev/null 2>&1 &
    local sim=$!
    for _ in $(seq 50); do [ -e "$work/unit" ] && break; sleep 0.1; done
    echo "== $name: $("$build/bench/poll_harness" "$work/unit" "$seconds" --shown-log "$work/$name.shown")"
    kill "$sim"; wait "$sim" 2>/dev/null || true
}

run healthy
run unplugged --hangup-after 2 --return-after 0

python3 - "$work/healthy.sim" "$work/healthy.shown" <<'PY'
import statistics, sys
polls, replies = [], []
for line in open(sys.argv[1]):
    kind, _, t = line.split()
    (polls if kind == "poll" else replies).append(float(t))
shown = [float(line.split()[1]) for line in open(sys.argv[2])]

def pct(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]

periods = [(b - a) * 1000 for a, b in zip(polls, polls[1:])]
deviation = [abs(p - 500) for p in periods]
print(f"poll period over {len(periods)} periods: median {statistics.median(periods):.3f} ms, "
      f"p99 |deviation| {pct(deviation, 99):.3f} ms, max |deviation| {max(deviation):.3f} ms")
latency, j = [], 0
for r in replies:
    while j < len(shown) and shown[j] < r:
        j += 1
    if j < len(shown):
        latency.append((shown[j] - r) * 1000)
print(f"reply-to-field latency over {len(latency)} replies: median {statistics.median(latency):.3f} ms, "
      f"p99 {pct(latency, 99):.3f} ms")
PY
