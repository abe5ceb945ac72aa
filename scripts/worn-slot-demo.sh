#!/usr/bin/env bash
# A worn cable in slot C, found: four simulated units, C's behind a cable that fails TX - RX in
# most replies. converter-check tests a few rounds of units in the four slots, converter-results
# slots names C, then converter-line (under Xvfb, WIDTH x HEIGHT) shows C's suspect band and sends
# the unit that fails there to another slot. Needs xwd (x11-apps) and xdotool.
#   scripts/worn-slot-demo.sh WIDTH HEIGHT OUTPUT.png [BUILD_DIR]
set -euo pipefail
width=$1 height=$2 output=$(realpath -m "$3") build=$(realpath "${4:-build}")
work=$(mktemp -d)
sims=()
trap 'kill "${sims[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
for name in A B C D; do
    faults=()
    [ "$name" = C ] && faults=(--fault-rate tx-rx:0.9:7)
    "$build/sim/converter-sim" --link "$work/$name" "${faults[@]}" >/dev/null 2>&1 &
    sims+=($!)
done
for name in A B C D; do
    for _ in $(seq 50); do [ -e "$work/$name" ] && break; sleep 0.1; done
done
store=$work/results.sqlite
for round in $(seq 12); do
    arguments=()
    for name in A B C D; do
        arguments+=("$work/$name" --slot "$work/$name=$name" --unit-id "$work/$name=SN-$round$name")
    done
    "$build/check/converter-check" --quiet --no-protocols --polls 1 --station line-2 \
        --fixture-id FX-7 --store "$store" "${arguments[@]}" >/dev/null 2>&1 || true
done
echo "$ converter-results slots --station line-2"
"$build/results/converter-results" --store "$store" slots --station line-2
export work width height build store XDG_CONFIG_HOME=$work XDG_RUNTIME_DIR=$work
xvfb-run -a -s "-screen 0 ${width}x${height}x24 -noreset" bash -c '
    "$build/line/converter-line" --no-protocols --polls 2 --station line-2 --fixture-id FX-7 \
        --store "$store" A="$work/A" B="$work/B" C="$work/C" D="$work/D" 2>/dev/null & window=$!
    for _ in $(seq 100); do xdotool search --name "Converter production line" >/dev/null 2>&1 && break; sleep 0.1; done
    id=$(xdotool search --name "Converter production line" | head -1)
    xdotool windowmove "$id" 0 0 windowsize "$id" "$width" "$height" windowfocus "$id"
    sleep 2
    scan() { xdotool type --delay 20 "$1"; xdotool key Return; }
    # Into C: two fields on from A.
    xdotool key Tab Tab
    scan SN-3003
    sleep 2
    scan SN-3004
    sleep 1.5
    xwd -root -silent >"$work/screen.xwd"
    kill $window'
python3 "$(dirname "$0")/xwd2png.py" "$work/screen.xwd" "$output"
echo "wrote $output"
