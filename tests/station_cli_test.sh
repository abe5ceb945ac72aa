#!/usr/bin/env bash
# converter-station from a terminal: --help and --version print and end without a window, and
# without any display the station says it needs a desktop and ends with status 1 (not Qt's abort).
#   station_cli_test.sh CONVERTER_STATION
set -uo pipefail
station=$(realpath "$1")
failures=0
check() { # NAME EXPECTED_STATUS EXPECTED_TEXT COMMAND...
    local name=$1 want=$2 text=$3
    shift 3
    local out status
    out=$(timeout 20 env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" 2>&1)
    status=$?
    if [ "$status" -eq "$want" ] && [[ $out == *"$text"* ]]; then
        echo "ok: $name"
    else
        echo "FAILED: $name: status $status (expected $want), said: $out"
        failures=$((failures + 1))
    fi
}
check "--help" 0 "Usage: converter-station" "$station" --help
check "--version" 0 "converter-station " "$station" --version
check "no display" 1 "it needs X11 or Wayland" "$station"
exit "$failures"
