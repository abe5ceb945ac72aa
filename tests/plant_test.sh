#!/usr/bin/env bash
# converter-results push into a real PostgreSQL 15 server that the test starts in a private folder,
# as the unprivileged account when run as root (initdb refuses root), on a Unix socket only, and
# stops on every way out. Two bench PCs' stores push into one database.
#   plant_test.sh CONVERTER_CHECK CONVERTER_SIM CONVERTER_RESULTS LINE_TESTS
set -euo pipefail
check=$(realpath "$1") sim=$(realpath "$2") results=$(realpath "$3") lineTests=$(realpath "$4")
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
plant "DROP VIEW link_timing, slot_health, pareto, yield_by_day, yield_by_station, unit_summary, first_attempts, unit_attempts; DROP TABLE maintenance, line_names, expectation_names, cause_names; DROP INDEX runs_problems, runs_loose_days; ALTER TABLE runs DROP COLUMN station_late, DROP COLUMN slot, DROP COLUMN fixture, DROP COLUMN adapter, DROP COLUMN usb_vendor, DROP COLUMN usb_product, DROP COLUMN usb_serial, DROP COLUMN golden, DROP COLUMN counts_as_attempt, DROP COLUMN reason, DROP COLUMN failed_expectations, DROP COLUMN causes, DROP COLUMN rt_count, DROP COLUMN rt_median, DROP COLUMN rt_p95, DROP COLUMN rt_max; ALTER TABLE line_results DROP COLUMN code; ALTER TABLE polls DROP COLUMN round_trip_ms; UPDATE converter_schema SET version = 1"
"$results" --store "$folder/bench2.sqlite" push "$url" 2>/dev/null || status=1
expect "the plant's schema brought to version 5" "5 3 0 3" \
    "$(plant 'SELECT max(version), (SELECT count(station_late) FROM runs), (SELECT count(slot) FROM runs), (SELECT count(*) FROM runs WHERE counts_as_attempt) FROM converter_schema' | tr '|' ' ')"

# The server away: nothing is lost, and the next push sends the rest.
plant_server stop -m fast
record bench1 SN-4
"$results" --store "$folder/bench1.sqlite" push "$url" 2>"$folder/away" && away=0 || away=$?
expect "push with the server away" 69 "$away"
grep -q "cannot reach the plant's database" "$folder/away" || { cat "$folder/away" >&2; status=1; }
# libpq's hint on a line of its own, never as a literal "\n".
expect "the server's lines as lines" "0 2" "$(grep -c '\\n' "$folder/away") $(grep -c . "$folder/away")"
expect "pending while the server is away" 1 "$(pending bench1)"
plant_start
"$results" --store "$folder/bench1.sqlite" push "$url" 2>/dev/null || status=1
expect "runs once the server is back" 4 "$(plant 'SELECT count(*) FROM runs')"
expect "SN-4 arrived" "SN-4 1 bench1" "$(plant "SELECT unit_id, attempt, station FROM runs WHERE unit_id = 'SN-4'" | tr '|' ' ')"

# Another account reads a bench's store without writing anything there, and the owner's next
# record is not stopped by anything it did: with the log files there, and without them in a
# folder it could write.
as_other() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
as_other "$results" --store "$folder/bench1.sqlite" yield --json >/dev/null 2>"$folder/other" && other=0 || other=$?
expect "another account reads the store" "0 0" "$other $(find "$folder" -maxdepth 1 -user 65534 -name 'bench1*' | wc -l)"
rm "$folder/bench1.sqlite-wal" "$folder/bench1.sqlite-shm"
chmod 1777 "$folder"
as_other "$results" --store "$folder/bench1.sqlite" yield >/dev/null 2>"$folder/other" && other=0 || other=$?
expect "another account before the log files are there" "74 0" "$other $(find "$folder" -maxdepth 1 -user 65534 -name 'bench1*' | wc -l)"
grep -q "the owner's next recorded run makes them" "$folder/other" || { cat "$folder/other" >&2; status=1; }
chmod 755 "$folder"
record bench1 SN-8b && other=0 || other=$?
expect "the owner records after it" "0 1" "$other $(pending bench1)"
"$results" --store "$folder/bench1.sqlite" push "$url" 2>/dev/null || status=1

# A push refused for want of a privilege (class 42) sets nothing aside and marks nothing as
# forwarded: the next push, once it may, sends the run.
record bench1 SN-9
plant "CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS \$\$ BEGIN RAISE EXCEPTION 'no' USING ERRCODE = 'insufficient_privilege'; END \$\$"
plant "CREATE TRIGGER refuse BEFORE INSERT ON runs FOR EACH ROW EXECUTE FUNCTION refuse()"
"$results" --store "$folder/bench1.sqlite" push "$url" 2>/dev/null && code=0 || code=$?
expect "push refused for a privilege" "69 1" "$code $(pending bench1)"
plant "DROP TRIGGER refuse ON runs"
"$results" --store "$folder/bench1.sqlite" push "$url" 2>/dev/null || status=1
expect "the refused run sent once it may be" "1 0" "$(plant "SELECT count(*) FROM runs WHERE unit_id = 'SN-9'") $(pending bench1)"

# A port that did not open: its message has a hint on a second line, and arrives whole.
"$check" "$folder/nowhere" --no-protocols --polls 1 --store "$folder/bench1.sqlite" --unit-id SN-10 \
    --station bench1 >/dev/null 2>&1 || true
"$results" --store "$folder/bench1.sqlite" push "$url" 2>/dev/null || status=1
expect "a two-line message whole" \
    "$(/usr/bin/python3 -c "import sqlite3,sys; print(sqlite3.connect(sys.argv[1]).execute(\"select message from runs where unit_id = 'SN-10'\").fetchone()[0])" "$folder/bench1.sqlite")" \
    "$(plant "SELECT message FROM runs WHERE unit_id = 'SN-10'")"

# A run whose data the plant refuses (a port that is not UTF-8, as a store of an earlier version
# may hold) is held back with the server's reason; the run after it arrives.
record bench1 SN-6
/usr/bin/python3 -c "import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.execute(\"update runs set port = cast(x'41ff' as text) where unit_id = 'SN-6'\"); c.commit()" "$folder/bench1.sqlite"
record bench1 SN-7
"$results" --store "$folder/bench1.sqlite" push "$url" 2>"$folder/held" && held=0 || held=$?
expect "push with a refused run" "65 SN-7" "$held $(plant "SELECT unit_id FROM runs WHERE unit_id IN ('SN-6', 'SN-7')")"
"$results" --store "$folder/bench1.sqlite" push --held >"$folder/heldlist"
grep -q "SN-6 .*invalid byte sequence" "$folder/heldlist" || { cat "$folder/held" "$folder/heldlist" >&2; status=1; }
/usr/bin/python3 -c "import sqlite3,sys; c=sqlite3.connect(sys.argv[1]); c.execute(\"update runs set port = 'A' where unit_id = 'SN-6'\"); c.commit()" "$folder/bench1.sqlite"
"$results" --store "$folder/bench1.sqlite" push --retry-held "$url" 2>/dev/null && held=0 || held=$?
expect "the held run sent again" "0 1 0" "$held $(plant "SELECT count(*) FROM runs WHERE unit_id = 'SN-6'") $(pending bench1)"

# A push never hangs: a server that accepts and never answers, a lock held on the plant's schema,
# a server stopped: each ends with 69 within the deadline.
record bench1 SN-8
mkdir "$folder/silent"
/usr/bin/python3 -c "
import socket, sys, time
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1]); s.listen()
c = s.accept(); time.sleep(60)" "$folder/silent/.s.PGSQL.5432" & silent=$!
for _ in $(seq 50); do [ -S "$folder/silent/.s.PGSQL.5432" ] && break; sleep 0.1; done
"$bin/psql" -X -q -d "$url" -c "BEGIN" -c "LOCK TABLE converter_schema" -c "SELECT pg_sleep(60)" >/dev/null 2>&1 & locker=$!
sleep 1
hung() { # NAME URL
    local started=$SECONDS code
    timeout 30 "$results" --store "$folder/bench1.sqlite" --timeout 2 push "$2" 2>"$folder/hung" && code=0 || code=$?
    expect "$1: status" 69 "$code"
    [ $((SECONDS - started)) -le 10 ] || { echo "FAILED: $1 took $((SECONDS - started)) s" >&2; status=1; }
    grep -q "did not answer within 2 s\|lock timeout" "$folder/hung" || { cat "$folder/hung" >&2; status=1; }
}
hung "a server that never answers" "host=$folder/silent user=plant dbname=postgres"
hung "the plant's schema locked" "$url"
kill "$locker" "$silent" 2>/dev/null || true
plant "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query LIKE '%pg_sleep%' AND pid <> pg_backend_pid()" >/dev/null
server=$(head -1 "$folder/db/postmaster.pid")
kill -STOP "$server" $(pgrep -P "$server")
hung "a server stopped" "$url"
kill -CONT "$server" $(pgrep -P "$server")
"$results" --store "$folder/bench1.sqlite" push "$url" 2>/dev/null || status=1
expect "nothing lost to the hangs" "1 0" "$(plant "SELECT count(*) FROM runs WHERE unit_id = 'SN-8'") $(pending bench1)"

# A plant of least privilege: a DBA runs the shipped script, the bench role may only select,
# insert and update; its pushes number each unit's attempts across the bench PCs.
script=$(dirname "$0")/../docs/plant-schema.sql
"$results" plant-schema | cmp -s - "$script" || { echo "FAILED: $script is not what plant-schema prints" >&2; status=1; }
plant "CREATE ROLE dba LOGIN"; plant "CREATE ROLE bench LOGIN"; plant "CREATE DATABASE line OWNER dba"
as_dba() { PGOPTIONS="-c client_min_messages=warning" "$bin/psql" -X -q -v ON_ERROR_STOP=1 -d "host=$folder/socket user=dba dbname=line" "$@"; }
{ as_dba -f "$script" && as_dba -f "$script"; } >/dev/null || status=1
as_dba -c "GRANT SELECT, INSERT, UPDATE ON converter_schema, runs, line_results, polls, maintenance TO bench" \
    -c "GRANT SELECT ON unit_attempts, first_attempts TO bench"
lean="host=$folder/socket user=bench dbname=line"
for pc in bench1 bench2 bench1; do record $pc SN-50; done
"$results" --store "$folder/bench1.sqlite" maintenance "$folder/unit" --note "new cable" --station bench1 2>/dev/null || status=1
for pc in bench1 bench2; do "$results" --store "$folder/$pc.sqlite" push "$lean" 2>>"$folder/lean" || status=1; done
expect "the maintenance pushed" "bench1 slot new cable" \
    "$(as_dba -A -t -c "SELECT station, kind, note FROM maintenance" | tr '|' ' ')"
expect "SN-50's attempts across the bench PCs" "bench1 1,bench2 2,bench1 3 1" \
    "$(as_dba -A -t -c "SELECT string_agg(station || ' ' || plant_attempt, ',' ORDER BY plant_attempt), (SELECT count(*) FROM first_attempts WHERE unit_id = 'SN-50') FROM unit_attempts WHERE unit_id = 'SN-50'" | tr '|' ' ')"
# converter-line counts the plant's attempts at each scan, and pushes its run.
QT_QPA_PLATFORM=offscreen PLANT_URL=$lean "$lineTests" --gtest_also_run_disabled_tests \
    --gtest_filter='*PlantAttemptsAcrossPCs' >"$folder/linetest" 2>&1 ||
    { tail -n 20 "$folder/linetest" >&2; echo "FAILED: converter-line against the plant" >&2; status=1; }
# Every view answers, every dashboard panel's SQL runs with Grafana's macros put in (the day of
# the runs), and the views' figures are converter-results' for the same runs, by UTC day.
"$sim" --link "$folder/healthy" >/dev/null 2>&1 &
otherSim=$!
for _ in $(seq 50); do [ -e "$folder/healthy" ] && break; sleep 0.1; done
figures() { "$check" "$@" --no-protocols --polls 1 --store "$folder/bench3.sqlite" --station bench3 >/dev/null 2>&1 || true; }
figures "$folder/healthy" --unit-id SN-60
figures "$folder/unit" --unit-id SN-61
figures "$folder/healthy" --unit-id SN-61
figures "$folder/healthy" --unit-id SN-62 --expect-protocol 9
figures "$folder/nowhere" --unit-id SN-63
figures "$folder/unit"
kill "$otherSim" 2>/dev/null || true
"$results" --store "$folder/bench3.sqlite" push "$lean" 2>>"$folder/lean" || status=1
for view in unit_attempts first_attempts unit_summary yield_by_day yield_by_station pareto slot_health link_timing; do
    as_dba -A -t -c "SELECT count(*) FROM $view" >/dev/null || { echo "FAILED: view $view" >&2; status=1; }
done
day=$(date -u +%F)
/usr/bin/python3 - "$(dirname "$0")/../docs/grafana-dashboard.json" "$day" >"$folder/panels.sql" <<'PANELS'
import json, re, sys
day = sys.argv[2]
for panel in json.load(open(sys.argv[1]))["panels"]:
    for target in panel["targets"]:
        sql = re.sub(r"\$__timeFilter\((\w+)\)",
                     lambda m: f"{m.group(1)} BETWEEN '{day}T00:00:00Z' AND '{day}T23:59:59.999Z'",
                     target["rawSql"])
        print(f"\\echo panel {panel['title']}\n{sql};")
PANELS
as_dba -A -t -f "$folder/panels.sql" >"$folder/panels.out" 2>&1 || { cat "$folder/panels.out" >&2; status=1; }
expect "every dashboard panel answered" 6 "$(grep -c '^panel ' "$folder/panels.out")"
expect "yield by UTC day, the view's and converter-results'" \
    "$("$results" --store "$folder/bench3.sqlite" --tz UTC yield --by day --json | /usr/bin/python3 -c "import json,sys; print(' '.join(f\"{r['units']} {r['runs']} {r['fpy']:.4f} {r['retestRate']:.4f}\" for r in json.load(sys.stdin)))")" \
    "$(as_dba -A -t -F ' ' -c "SELECT units, runs, to_char(fpy, 'FM0.0000'), to_char(retest_rate, 'FM0.0000') FROM yield_by_station WHERE station = 'bench3' ORDER BY start_utc")"
expect "Pareto, the view's and converter-results'" \
    "$("$results" --store "$folder/bench3.sqlite" pareto --json | /usr/bin/python3 -c "import json,sys; print(' '.join(sorted(f\"{r['kind']}:{r['line']}:{r['failed']}:{r['intermittent']}\" for r in json.load(sys.stdin) if r['failed'] or r['intermittent'])))")" \
    "$(as_dba -A -t -c "SELECT string_agg(kind || ':' || name || ':' || f || ':' || i, ' ' ORDER BY kind || ':' || name || ':' || f || ':' || i) FROM (SELECT kind, name, count(DISTINCT unit) FILTER (WHERE failed) AS f, count(DISTINCT unit) FILTER (WHERE intermittent) AS i FROM pareto WHERE station = 'bench3' GROUP BY kind, name) p")"
expect "the reason and the round trips pushed" "protocol expected 9, seen 5 1" \
    "$(as_dba -A -t -F ' ' -c "SELECT reason, (SELECT count(*) FROM polls p WHERE p.run_id = r.run_id AND round_trip_ms > 0) FROM runs r WHERE unit_id = 'SN-62'")"
as_dba -c "UPDATE converter_schema SET version = 3"
record bench1 SN-51
"$results" --store "$folder/bench1.sqlite" push "$lean" 2>"$folder/lean" && lean=0 || lean=$?
expect "a role that does not own the tables, at an older schema" "69 1" "$lean $(grep -c 'plant-schema.sql' "$folder/lean")"

# A refusal: the plant's schema is newer than this program writes.
plant "INSERT INTO converter_schema VALUES (99)"
record bench1 SN-5
"$results" --store "$folder/bench1.sqlite" push "$url" 2>"$folder/newer" && newer=0 || newer=$?
expect "push into a newer schema (SN-51 still pending too)" "69 2" "$newer $(pending bench1)"
exit $status
