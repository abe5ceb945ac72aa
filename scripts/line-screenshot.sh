#!/usr/bin/env bash
# converter-line with four simulated units under Xvfb, a screen of WIDTH x HEIGHT: a pass, a
# failure, an intermittent unit, one testing, and the next-scan cue. Needs xwd (x11-apps).
#   scripts/line-screenshot.sh WIDTH HEIGHT OUTPUT.png [BUILD_DIR]
set -euo pipefail
width=$1 height=$2 output=$(realpath -m "$3") build=$(realpath "${4:-build}")
work=$(mktemp -d)
sims=()
trap 'kill "${sims[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
start_unit() { # NAME OPTIONS...
    "$build/sim/converter-sim" --link "$work/$1" "${@:2}" >/dev/null 2>&1 &
    sims+=($!)
}
start_unit A
start_unit B --fail tx-rx
start_unit C --flap cd-dtr:1
start_unit D
for name in A B C D; do
    for _ in $(seq 50); do [ -e "$work/$name" ] && break; sleep 0.1; done
done
export work width height build XDG_CONFIG_HOME=$work XDG_RUNTIME_DIR=$work
xvfb-run -a -s "-screen 0 ${width}x${height}x24 -noreset" bash -c '
    "$build/line/converter-line" --no-protocols --no-store --polls 4 A="$work/A" B="$work/B" \
        C="$work/C" D="$work/D" 2>/dev/null & window=$!
    for _ in $(seq 100); do xdotool search --name "Converter production line" >/dev/null 2>&1 && break; sleep 0.1; done
    id=$(xdotool search --name "Converter production line" | head -1)
    # No window manager to maximise it: the screen is given to it as one would.
    xdotool windowmove "$id" 0 0 windowsize "$id" "$width" "$height" windowfocus "$id"
    sleep 1
    scan() { xdotool type --delay 20 "$1"; xdotool key Return; }
    scan SN-2001; scan SN-2002; scan SN-2003
    sleep 4
    scan SN-2004
    sleep 1.2
    xwd -root -silent >"$work/screen.xwd"
    kill $window'
python3 "$(dirname "$0")/xwd2png.py" "$work/screen.xwd" "$output"
echo "wrote $output"
