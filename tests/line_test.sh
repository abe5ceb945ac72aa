#!/usr/bin/env bash
# converter-line as an operator drives it, by keyboard alone: a barcode scanner (xdotool) types
# each unit's serial number and Return under Xvfb, and the verdicts are read through the real
# accessibility bus. Three slots: a healthy unit, a failing one, and one unplugged mid-run; then
# a quit signal during a run.
#   line_test.sh CONVERTER_LINE CONVERTER_SIM CONVERTER_RESULTS CHECK_SCRIPT
set -euo pipefail
line=$(realpath "$1") sim=$(realpath "$2") results=$(realpath "$3") check=$(realpath "$4")

folder=$(mktemp -d "${TMPDIR:-/tmp}/station-line.XXXXXX")
sims=()
cleanup() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$folder"
}
trap cleanup EXIT
start_unit() { # NAME OPTIONS...
    local name=$1
    shift
    "$sim" --link "$folder/$name" "$@" >/dev/null 2>&1 &
    sims+=($!)
    for _ in $(seq 50); do [ -e "$folder/$name" ] && return 0; sleep 0.1; done
    echo "the simulated unit $name did not start" >&2
    exit 1
}
start_unit healthy
start_unit failing --fail tx-rx
start_unit unplugged
healthy=${sims[0]} unplug=${sims[2]}

# The sound server, in a runtime folder of its own, playing into a null sink; the event sounds
# played are read off its streams as they play.
export XDG_RUNTIME_DIR="$folder/run" XDG_CONFIG_HOME="$folder/config"
mkdir -m 700 "$XDG_RUNTIME_DIR"
HOME=$folder pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --load="module-null-sink sink_name=null" --load=module-native-protocol-unix >"$folder/pulse.log" 2>&1 &
sims+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null || { cat "$folder/pulse.log"; echo "no sound server" >&2; exit 1; }
while :; do pactl list sink-inputs 2>/dev/null | grep -o 'event.id = "[^"]*"' || true; sleep 0.05; done >"$folder/sounds" &
sims+=($!)

printf '5,Five\n' > "$folder/Protocol.txt"
export folder line results check unplug healthy
cd "$folder"
# Its own server number, away from those other tests' xvfb-run -a may pick at the same moment.
xvfb-run -a -n $((200 + $$ % 500)) -s '-screen 0 1280x800x24 -noreset' dbus-run-session -- bash -c '
    set -u
    stop() { kill "$@" 2>/dev/null; for _ in $(seq 50); do kill -0 "$@" 2>/dev/null || return 0; sleep 0.1; done; kill -9 "$@" 2>/dev/null; }
    # xvfb-run may go on before its server takes connections on a loaded machine. The server is
    # started with -noreset: this first client leaving must not make it start afresh.
    for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    xdpyinfo >/dev/null 2>&1 || { echo "the X server $DISPLAY never took connections" >&2; exit 1; }
    /usr/libexec/at-spi-bus-launcher --launch-immediately 2>/dev/null & bus=$!
    status=0
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$line" --protocols "$folder/Protocol.txt" --polls 4 \
        --store "$folder/results.sqlite" --operator ada A="$folder/healthy" B="$folder/failing" \
        C="$folder/unplugged" 2>"$folder/err" & window=$!
    for _ in $(seq 100); do xdotool search --name "Converter production line" >/dev/null 2>&1 && break; sleep 0.1; done
    # No window manager here: the window is given the input focus as one would give it.
    timeout 10 xdotool search --name "Converter production line" windowfocus >/dev/null 2>&1
    sleep 0.3
    scan() { xdotool type --delay 20 "$1"; xdotool key Return; }
    # The first slot has the focus; each scan moves it on to the next.
    scan SN-1; scan SN-2; scan SN-3
    sleep 0.7; kill "$unplug"
    # The unplugged unit took its line with it: its verdict goes with the adapter.
    timeout 40 /usr/bin/python3 "$check" 20 "Verdict A=PASS SN-1" "Verdict B=FAIL SN-2: TX - RX RTU" \
        "Verdict C=REMOVED: last: SN-3 INCOMPLETE; adapter missing" || status=1
    # A unit taken out of its slot, its line left open: the verdict goes within three polls.
    kill -USR1 "$healthy"
    timeout 20 /usr/bin/python3 "$check" 3 "Verdict A=REMOVED: last: SN-1 PASS" || status=1
    kill -USR1 "$healthy"
    timeout 20 /usr/bin/python3 "$check" 3 "Verdict A=UNIT SEATED" || status=1
    # Enter alone in C: refused, with a sound of its own.
    xdotool key Return
    timeout 20 /usr/bin/python3 "$check" 3 "Verdict C=NOT TESTED" || status=1
    # The failing unit again, twice: its third attempt. The focus stayed on C, with every slot busy.
    xdotool key shift+Tab; scan SN-2
    timeout 40 /usr/bin/python3 "$check" 20 "Verdict B=TESTING SN-2" || status=1
    timeout 40 /usr/bin/python3 "$check" 20 "Verdict B=FAIL" || status=1
    xdotool key shift+Tab; scan SN-2
    timeout 40 /usr/bin/python3 "$check" 20 "Unit tested B=SN-2, attempt 3" "Verdict B=FAIL" || status=1
    # A unit whose simulator ends after its verdict: the verdict goes with it.
    xdotool key Tab; scan SN-9
    timeout 40 /usr/bin/python3 "$check" 20 "Verdict A=PASS SN-9" || status=1
    kill "$healthy"
    timeout 20 /usr/bin/python3 "$check" 3 "Verdict A=REMOVED: last: SN-9 PASS" || status=1
    # SIGTERM during a run in slot B: it is recorded as interrupted.
    scan SN-7; sleep 0.6; kill -TERM $window
    timeout 10 tail --pid=$window -f /dev/null || status=1
    wait $window; ended=$?
    [ $ended -eq 143 ] || { echo "converter-line ended by SIGTERM exited $ended, not 143" >&2; status=1; }
    stop $bus
    exit $status' 2> >(grep -v -e "^dbus-daemon" -e "SpiRegistry" >&2) || { cat "$folder/err" >&2; exit 1; }
"$results" --store "$folder/results.sqlite" history SN-2
verdicts=$("$results" --store "$folder/results.sqlite" runs --json | grep -o '"verdict":"[a-z]*"' |
    cut -d'"' -f4 | sort | uniq -c | awk '{ printf "%s %s;", $1, $2 }')
[ "$verdicts" = "3 fail;1 incomplete;1 interrupted;2 pass;" ] || {
    "$results" --store "$folder/results.sqlite" runs
    echo "the store does not hold the seven runs" >&2
    exit 1
}
# A sound of its own for a pass, a failure and a refused scan.
sounds=$(sort -u "$folder/sounds" | tr '\n' ' ')
[ "$sounds" = 'event.id = "complete" event.id = "dialog-error" event.id = "dialog-warning" ' ] || {
    cat "$folder/err" "$folder/pulse.log" >&2
    echo "the sounds played: $sounds" >&2
    exit 1
}
# Every run names the slot it was tested in.
slots=$("$results" --store "$folder/results.sqlite" runs --json | grep -o '"slot":[^,]*' | sort | uniq -c |
    awk '{ printf "%s %s;", $1, $2 }')
[ "$slots" = '2 "slot":"A";4 "slot":"B";1 "slot":"C";' ] || {
    echo "the runs do not name their slots: $slots" >&2
    exit 1
}
# Every run names the protocol list it was read with.
lists=$(/usr/bin/python3 -c "import sqlite3,sys; print(*sqlite3.connect(sys.argv[1]).execute('select distinct protocols_sha256 from runs'))" "$folder/results.sqlite")
[ "$lists" = "('$(sha256sum < "$folder/Protocol.txt" | cut -d' ' -f1)',)" ] || {
    echo "the runs do not name the protocol list: $lists" >&2
    exit 1
}
