#!/usr/bin/env bash
# Runs the README's examples of automated testing as a newcomer would type them, against
# simulated units: /dev/ttyUSB0 is a healthy unit, /dev/ttyUSB1 one with a broken TX line and
# /dev/ttyUSB2 one whose CD - DTR line comes and goes. Ten minutes of polling become four polls,
# and a simulated unit started by an example plays for two seconds. Every example must end with
# status 0, and every check it runs must say what it decided.
#   scripts/readme-examples.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
build=$(realpath "${1:-build}")
work=$(mktemp -d "${TMPDIR:-/tmp}/readme-examples.XXXXXX")
# Runs are recorded in a store of this script's own, never in the account's.
export XDG_DATA_HOME="$work/data"
sims=()
cleanup() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
export PATH="$build/check:$build/results:$build/sim:$PATH"

cp data/Protocol-example.txt "$work/Protocol.txt"
start_unit() { # NAME OPTIONS...
    local name=$1
    shift
    converter-sim --link "$work/$name" "$@" >/dev/null 2>"$work/$name.log" &
    sims+=($!)
    for _ in $(seq 50); do [ -e "$work/$name" ] && return 0; sleep 0.1; done
    echo "the simulated unit $name did not start" >&2
    exit 1
}
start_unit ttyUSB0
start_unit ttyUSB1 --fail tx-rx
start_unit ttyUSB2 --flap cd-dtr:3

# The ```sh blocks of the README's "Automated testing" and "Results and yield", one file each.
awk -v dir="$work" '
    /^## / { inside = ($0 == "## Automated testing" || $0 == "## Results and yield") }
    inside && /^```sh$/ { n++; file = sprintf("%s/example%d.sh", dir, n); next }
    inside && file != "" && /^```$/ { close(file); file = ""; next }
    file != "" { print > file }
' README.md

failures=0
count=0
for example in "$work"/example*.sh; do
    count=$((count + 1))
    sed -i -e "s#/dev/ttyUSB#$work/ttyUSB#g" -e 's#--polls 1200#--polls 4#g' \
        -e "s#/tmp/unit#$work/replayed#g" -e '/^converter-sim /s/ *#.*$//' \
        -e 's#^\(converter-sim .*\)#timeout 2 \1 || [ $? -eq 124 ]#' \
        "$example"
    echo "--- $(basename "$example")"
    cat "$example"
    status=0
    (cd "$work" && timeout 60 bash -o pipefail "$example") >"$example.out" 2>&1 || status=$?
    cat "$example.out"
    if [ "$status" -ne 0 ]; then
        echo "FAILED: ended with status $status"
        failures=$((failures + 1))
    elif grep -q "command not found\|No such file\|Traceback" "$example.out"; then
        echo "FAILED: something it runs is missing"
        failures=$((failures + 1))
    elif grep -q "converter-check " "$example" &&
        ! grep -qE "exit|PASS|FAIL|INTERMITTENT|INCOMPLETE|pass|fail" "$example.out"; then
        echo "FAILED: the check's decision is not shown"
        failures=$((failures + 1))
    fi
done
[ "$count" -gt 0 ] || { echo "no examples found in README.md" >&2; exit 1; }
echo "$count examples run, $failures failed"
cd "$top"
exit $((failures > 0))
