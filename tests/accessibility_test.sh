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
    wait 2>/dev/null || true
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
xvfb-run -a -s '-screen 0 1024x768x24' dbus-run-session -- bash -c '
    set -u
    /usr/libexec/at-spi-bus-launcher --launch-immediately 2>/dev/null & bus=$!
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb "$driver" "$folder/unit" \
        >"$folder/out" 2>"$folder/err" & station=$!
    for _ in $(seq 100); do grep -q "^reply" "$folder/out" && break; sleep 0.1; done
    cat "$folder/out"
    status=0
    /usr/bin/python3 "$check" \
        "CD - DTR CPU result=Error" "CTS - RTS CPU result=OK" "RTS - CTS RTU result=OK" \
        "DTR - CD RTU result=OK" "TX - RX RTU result=OK" "Version result= 1" \
        "Protocol result=Five" \
        "Software TS=on, the rows disagree" "Software No TS=off" \
        "Hardware TS=off" "Hardware No TS=on, the rows disagree" || status=$?
    kill $station $bus 2>/dev/null
    wait $station 2>/dev/null
    exit $status' 2> >(grep -v -e "^dbus-daemon" -e "SpiRegistry" >&2)
