#!/usr/bin/env bash
# The store and the push under load for SECONDS (default 600): eight converter-checks recording
# into one store in a loop, converter-results push every 10 s against a PostgreSQL 15 server that
# is stopped and started three times, and another account reading yield every second. At the end:
# every run a check acknowledged is in the plant, no push hung, the store passes integrity_check.
#   bench/store_soak.sh [BUILD_DIR] [SECONDS]
set -uo pipefail
build=$(realpath "${1:-build}")
seconds=${2:-600}
# shellcheck source=../tests/support/plantserver.sh
. "$(dirname "$0")/../tests/support/plantserver.sh"
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; plant_server stop -m immediate 2>/dev/null || true; rm -rf "$work"' EXIT
plant_init "$work"
plant_start
check=$build/check/converter-check results=$build/results/converter-results
store=$work/bench/results.sqlite
mkdir -m 755 "$work/bench"
export XDG_DATA_HOME=$work/data
end=$((SECONDS + seconds))

for n in 1 2 3 4 5 6 7 8; do
    options=(); [ $((n % 2)) -eq 0 ] && options=(--fail tx-rx)
    "$build/sim/converter-sim" --link "$work/unit$n" "${options[@]}" >/dev/null 2>&1 &
    pids+=($!)
done
sleep 1
for n in 1 2 3 4 5 6 7 8; do
    (
        i=0
        while [ $SECONDS -lt $end ]; do
            i=$((i + 1))
            "$check" "$work/unit$n" --no-protocols --polls 4 --quiet --unit-id "SN-$n-$i" \
                --store "$store" >/dev/null 2>>"$work/check$n.err"
            echo $?
        done >"$work/check$n.status"
    ) &
    pids+=($!)
done
(
    while [ $SECONDS -lt $end ]; do
        started=$SECONDS
        timeout 60 "$results" --store "$store" --timeout 5 push "$plant_url" >/dev/null 2>&1
        echo "$? $((SECONDS - started))"
        sleep 10
    done >"$work/push.status"
) &
pids+=($!)
(
    while [ $SECONDS -lt $end ]; do
        setpriv --reuid=65534 --regid=65534 --clear-groups \
            "$results" --store "$store" yield --json >/dev/null 2>>"$work/reader.err"
        echo $?
        sleep 1
    done >"$work/reader.status"
) &
pids+=($!)
for stop in 1 2 3; do
    sleep $((seconds / 4))
    plant_server stop -m fast
    sleep 15
    plant_start
    echo "server stopped and started ($stop)"
done
wait "${pids[@]:8}" 2>/dev/null
"$results" --store "$store" --timeout 30 push "$plant_url" >/dev/null; final=$?

acknowledged=$(cat "$work"/check*.status | grep -cxE '0|1')
refused=$(cat "$work"/check*.status | grep -cvxE '0|1')
plant=$("$plant_bin/psql" -X -A -t -d "$plant_url" -c "SELECT count(*) FROM runs")
stored=$(/usr/bin/python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute('select count(*) from runs').fetchone()[0])" "$store")
integrity=$(/usr/bin/python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute('pragma integrity_check').fetchone()[0])" "$store")
echo "checks: $acknowledged runs acknowledged, $refused not; store: $stored runs, integrity $integrity"
echo "plant: $plant runs after the last push (status $final)"
awk '{ n[$1]++; if ($2 > longest) longest = $2 } END { printf "pushes:"; for (s in n) printf " %d with status %s;", n[s], s; printf " longest %d s\n", longest }' "$work/push.status"
awk '{ n[$1]++ } END { printf "reader (another account):"; for (s in n) printf " %d with status %s;", n[s], s; printf "\n" }' "$work/reader.status"
sort "$work/reader.err" | uniq -c | head -3
[ "$acknowledged" -eq "$plant" ] && [ "$stored" -eq "$plant" ] && [ "$integrity" = ok ] &&
    [ "$final" -eq 0 ] && ! grep -q '^124 ' "$work/push.status"
