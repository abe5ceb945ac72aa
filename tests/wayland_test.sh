#!/usr/bin/env bash
# The station on a headless Wayland compositor, with a sound server playing into a null sink:
# the window as the compositor gets it, a full cycle against the simulated unit, and the beep as
# sound streams, one for each failing reply and none for a passing one.
#   wayland_test.sh STATION_DRIVER CONVERTER_SIM DESKTOP_ENTRY
set -euo pipefail
driver=$(realpath "$1") sim=$(realpath "$2") desktop=$3
replies=3

runtime=$(mktemp -d "${TMPDIR:-/tmp}/station-wayland.XXXXXX")
chmod 700 "$runtime"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    # Bounded: what does not end within 5 s is killed outright.
    for _ in $(seq 50); do
        local running=0
        for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && running=1; done
        [ "$running" -eq 0 ] && break
        sleep 0.1
    done
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    rm -rf "$runtime"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$runtime HOME=$runtime
unset DISPLAY

weston --backend=headless-backend.so --socket=wayland-station --idle-time=0 \
    >"$runtime/weston.log" 2>&1 &
pids+=($!)
# Under AddressSanitizer: unwind leaks fully, so that one from Mesa's EGL driver, unloaded by the
# time leaks are checked, still names the library that suppresses it (tests/lsan.supp).
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --load="module-null-sink sink_name=null" \
    --load=module-native-protocol-unix >"$runtime/pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -S "$runtime/wayland-station" ] && pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
[ -S "$runtime/wayland-station" ] || { cat "$runtime/weston.log"; echo "no compositor" >&2; exit 1; }
pactl info >/dev/null || { cat "$runtime/pulse.log"; echo "no sound server" >&2; exit 1; }

failures=0
check() { # DESCRIPTION EXPECTED ACTUAL
    if [ "$2" == "$3" ]; then
        echo "ok: $1: $3"
    else
        echo "FAILED: $1: expected $2, got $3"
        failures=$((failures + 1))
    fi
}

# NAME EXPECTED_VERDICT_LINE STREAMS_PER_REPLY [SIM OPTIONS...]
run_case() {
    local name=$1 verdicts=$2 perReply=$3
    shift 3
    local folder="$runtime/$name"
    mkdir -p "$folder"
    printf '5,Five\n' >"$folder/Protocol.txt"
    "$sim" --link "$folder/unit" "$@" >/dev/null 2>"$folder/sim.log" &
    local simPid=$!
    pids+=($simPid)
    for _ in $(seq 50); do [ -e "$folder/unit" ] && break; sleep 0.1; done
    pactl subscribe >"$folder/events" 2>&1 &
    local watchPid=$!
    pids+=($watchPid)
    sleep 0.3
    local status=0
    (cd "$folder" && WAYLAND_DISPLAY=wayland-station QT_QPA_PLATFORM=wayland \
        timeout 30 "$driver" "$folder/unit" "$replies" >"$folder/out" 2>"$folder/err") &
    local station=$!
    # The sound server's clients while the station runs: its sound must carry its name and id.
    while kill -0 "$station" 2>/dev/null; do
        pactl list clients >>"$folder/clients" 2>/dev/null
        sleep 0.2
    done
    wait "$station" || status=$?
    sleep 1 # the last sound stream is made asynchronously
    kill "$watchPid" "$simPid" 2>/dev/null || true
    echo "--- $name: the station printed"
    cat "$folder/out"
    check "$name: exit status" 0 "$status"
    check "$name: window" \
        "platform=wayland title=\"Zyloq Converter Test \" size=423x361 appid=$(basename "$desktop" .desktop.in)" \
        "$(grep '^platform=' "$folder/out" || true)"
    local shown
    shown=$(grep -c '^reply ' "$folder/out" || true)
    check "$name: replies decoded" "$replies" "$shown"
    check "$name: verdicts" "$verdicts" "$(grep '^reply ' "$folder/out" | sort -u | tr '\n' ' ')"
    check "$name: stopped by its button" stopped "$(grep -x stopped "$folder/out" || true)"
    check "$name: sound streams" "$((shown * perReply))" \
        "$(grep -c "Event 'new' on sink-input" "$folder/events" || true)"
    if [ "$perReply" -gt 0 ]; then
        check "$name: the sound's client" \
            "application.name = \"Zyloq Converter Test\" application.id = \"$(basename "$desktop" .desktop.in)\"" \
            "$(grep -m1 -o 'application.name = "Zyloq Converter Test"' "$folder/clients" || true) $(grep -m1 -o 'application.id = "[^"]*"' "$folder/clients" || true)"
    fi
}

run_case failing "reply Error OK OK OK OK " 1 --fail cd-dtr
run_case passing "reply OK OK OK OK OK " 0

[ "$failures" -eq 0 ] || { echo "$failures checks failed"; exit 1; }
echo "all checks passed"
