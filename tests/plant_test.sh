#!/usr/bin/env bash
# converter-results push into a real PostgreSQL 15 server that the test starts in a private folder,
# as the unprivileged account when run as root (initdb refuses root), on a Unix socket only, and
# stops on every way out. Two bench PCs' stores push into one database.
#   plant_test.sh CONVERTER_CHECK CONVERTER_SIM CONVERTER_RESULTS
set -euo pipefail
check=$(realpath "$1") sim=$(realpath "$2") results=$(realpath "$3")
bin=/usr/lib/postgresql/15/bin
# shellcheck source=support/plantserver.sh
. "$(dirname "$0")/support/plantserver.sh"

folder=$(mktemp -d "${TMPDIR:-/tmp}/station-plant.XXXXXX")
simPid=
cleanup() {
    plant_server stop -m immediate 2>/dev/null || true
    [ -n "$simPid" ] && kill "$simPid" 2>/dev/null
    rm -rf "$folder"
}
trap cleanup EXIT
plant_init "$folder"
plant_start
url=$plant_url
plant() { "$bin/psql" -X -A -t -q -d "$url" -c "$1"; }

"$sim" --link "$folder/unit" --fail tx-rx >/dev/null 2>&1 &
simPid=$!
for _ in $(seq 50); do [ -e "$folder/unit" ] && break; sleep 0.1; done
# A run of one poll each on two bench PCs' stores: SN-1 on the first, SN-2 and SN-3 on the second.
export XDG_DATA_HOME="$folder/data"
record() { "$check" "$folder/unit" --no-protocols --polls 1 --store "$folder/$1.sqlite" --unit-id "$2" \
    --station "$1" >/dev/null 2>&1 || [ $? -eq 1 ]; }
record bench1 SN-1
record bench2 SN-2
record bench2 SN-3

status=0
expect() { # what, expected, actual
    if [ "$2" != "$3" ]; then
        echo "FAILED: $1: expected '$2', got '$3'" >&2
        status=1
    else
        echo "ok: $1"
    fi
}
pending() { /usr/bin/python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute('select count(*) from runs where forwarded = 0').fetchone()[0])" "$folder/$1.sqlite"; }

# Both PCs at once into a database that has no tables yet.
"$results" --store "$folder/bench1.sqlite" push "$url" 2>"$folder/push1" & first=$!
"$results" --store "$folder/bench2.sqlite" push "postgresql:///postgres?host=$folder/socket&user=plant" 2>"$folder/push2" || status=1
wait $first || status=1
expect "runs after the first pushes" 3 "$(plant 'SELECT count(*) FROM runs')"
expect "line results" 15 "$(plant 'SELECT count(*) FROM line_results')"
expect "polls with their bytes" 3 "$(plant 'SELECT count(*) FROM polls WHERE length(bytes) >= 27')"
expect "SN-2's failed line" "TX - RX RTU" \
    "$(plant "SELECT line FROM line_results l JOIN runs r USING (run_id) WHERE unit_id = 'SN-2' AND l.verdict = 'fail'")"
expect "nothing pending" "0 0" "$(pending bench1) $(pending bench2)"

# Pushed again, as if the marks were lost after the server's commit: stored once.
/usr/bin/python3 -c "import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.execute('update runs set forwarded = 0'); c.commit()" "$folder/bench2.sqlite"
expect "a second push" "converter-results: pushed 2 runs (2 of them were there already)" \
    "$("$results" --store "$folder/bench2.sqlite" push "$url" 2>&1)"
expect "runs after the second push" 3 "$(plant 'SELECT count(*) FROM runs')"

# A plant of schema version 1 is brought up to date by the next push.
plant "ALTER TABLE runs DROP COLUMN station_late, DROP COLUMN slot; UPDATE converter_schema SET version = 1"
"$results" --store "$folder/bench2.sqlite" push "$url" 2>/dev/null || status=1
expect "the plant's schema brought to version 3" "3 3 0" \
    "$(plant 'SELECT max(version), (SELECT count(station_late) FROM runs), (SELECT count(slot) FROM runs) FROM converter_schema' | tr '|' ' ')"

# The server away: nothing is lost, and the next push sends the rest.
plant_server stop -m fast
record bench1 SN-4
"$results" --store "$folder/bench1.sqlite" push "$url" 2>"$folder/away" && away=0 || away=$?
expect "push with the server away" 69 "$away"
grep -q "cannot reach the plant's database" "$folder/away" || { cat "$folder/away" >&2; status=1; }
expect "pending while the server is away" 1 "$(pending bench1)"
plant_start
"$results" --store "$folder/bench1.sqlite" push "$url" 2>/dev/null || status=1
expect "runs once the server is back" 4 "$(plant 'SELECT count(*) FROM runs')"
expect "SN-4 arrived" "SN-4 1 bench1" "$(plant "SELECT unit_id, attempt, station FROM runs WHERE unit_id = 'SN-4'" | tr '|' ' ')"

# A refusal: the plant's schema is newer than this program writes.
plant "INSERT INTO converter_schema VALUES (99)"
record bench1 SN-5
"$results" --store "$folder/bench1.sqlite" push "$url" 2>"$folder/newer" && newer=0 || newer=$?
expect "push into a newer schema" "69 1" "$newer $(pending bench1)"
exit $status
