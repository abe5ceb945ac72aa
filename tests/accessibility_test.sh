#!/usr/bin/env bash
# The station's verdicts and TS squares as assistive technology reads them: the real
# accessibility bus in a private session bus under Xvfb, read with the screen readers' own client
# library after a failing reply.
#   accessibility_test.sh STATION_DRIVER CONVERTER_SIM CHECK_SCRIPT
set -euo pipefail
driver=$(realpath "$1") sim=$(realpath "$2") check=$(realpath "$3")

folder=$(mktemp -d "${TMPDIR:-/tmp}/station-a11y.XXXXXX")
simPid=
cleanup() {
    [ -n "$simPid" ] && kill "$simPid" 2>/dev/null
    timeout 5 tail --pid="$simPid" -f /dev/null 2>/dev/null || kill -9 "$simPid" 2>/dev/null
    rm -rf "$folder"
}
trap cleanup EXIT
printf '5,Five\n' >"$folder/Protocol.txt"
# Software TS on, hardware TS off: the rows disagree.
"$sim" --link "$folder/unit" --fail cd-dtr --software-ts >/dev/null 2>"$folder/sim.log" &
simPid=$!
for _ in $(seq 50); do [ -e "$folder/unit" ] && break; sleep 0.1; done

export folder driver check
cd "$folder"
# Every wait is bounded: a station that does not start or does not quit fails the test in
# seconds, not at the test's time limit.
xvfb-run -a -s '-screen 0 1024x768x24 -noreset' dbus-run-session -- bash -c '
    set -u
    stop() { kill "$@" 2>/dev/null; for _ in $(seq 50); do kill -0 "$@" 2>/dev/null || return 0; sleep 0.1; done; kill -9 "$@" 2>/dev/null; }
    /usr/libexec/at-spi-bus-launcher --launch-immediately 2>/dev/null & bus=$!
    status=0

    # A failing reply: every verdict and square, described by its caption.
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$driver" "$folder/unit" \
        >"$folder/out" 2>"$folder/err" & station=$!
    for _ in $(seq 100); do grep -q "^reply" "$folder/out" && break; sleep 0.1; done
    cat "$folder/out"
    timeout 30 /usr/bin/python3 "$check" \
        "CD - DTR CPU result=Error" "CTS - RTS CPU result=OK" "RTS - CTS RTU result=OK" \
        "DTR - CD RTU result=OK" "TX - RX RTU result=OK" "Version result= 1" \
        "Protocol result=Five" \
        "Software TS=on, the rows disagree" "Software No TS=off" \
        "Hardware TS=off" "Hardware No TS=on, the rows disagree" || status=$?
    stop $station

    # A refused port, on a German desktop: the reason and the hint are in the description.
    LANGUAGE=de LANG=de_DE.UTF-8 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb \
        "$driver" "$folder/Protocol.txt" >"$folder/out" 2>"$folder/err" & station=$!
    for _ in $(seq 100); do grep -q "^not polling" "$folder/out" && break; sleep 0.1; done
    cat "$folder/out"
    timeout 30 /usr/bin/python3 "$check" \
        "RX Data result=Error opening port|Give a serial port: COM1 to COM256" || status=$?
    stop $station $bus
    exit $status' 2> >(grep -v -e "^dbus-daemon" -e "SpiRegistry" >&2)
