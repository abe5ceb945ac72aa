#!/usr/bin/env bash
# The dashboard's panels over RUNS runs in the plant's database (default 1,000,000: 400,000 units
# over 250 days, 4 stations of 4 slots, a quarter failing or intermittent, one in eight
# incomplete), made in the server with generate_series as push would leave them, on a local
# PostgreSQL 15 server started in a private folder. Each panel's SQL (docs/grafana-dashboard.json)
# runs with $__timeFilter over the last 7 days and over the whole period; the median of 3.
#   bench/dashboard_bench.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-1000000}
here=$(dirname "$0")
# shellcheck source=../tests/support/plantserver.sh
. "$here/../tests/support/plantserver.sh"
work=$(mktemp -d)
trap 'plant_server stop -m immediate 2>/dev/null || true; rm -rf "$work"' EXIT
plant_init "$work"
plant_start
psql() { "$plant_bin/psql" -X -q -v ON_ERROR_STOP=1 -d "$plant_url" "$@"; }
"$build/results/converter-results" plant-schema | psql >/dev/null

start=$(date +%s)
psql <<SQL
INSERT INTO runs (run_id, unit_id, attempt, port, operator, station, tool, tool_version,
    start_utc, end_utc, verdict, exit_status, polled, polls, replies, measured, unanswered, late,
    too_short, no_head, two_frames, flood, failed_lines, intermittent_lines, slot, fixture, golden,
    counts_as_attempt, reason, failed_expectations, causes, rt_count, rt_median, rt_p95, rt_max)
SELECT 'run-' || i, 'SN-' || (i % 400000), i / 400000 + 1, '/dev/ttyUSB' || (i / 4 % 4),
    'operator ' || (i % 7), 'bench-' || (i % 4), 'converter-check', '0.1.0', at, at + interval '5 s',
    v, CASE v WHEN 'pass' THEN 0 WHEN 'incomplete' THEN 2 ELSE 1 END, true, 10, 10, 10,
    (v = 'incomplete')::int, 0, 0, 0, 0, 0,
    CASE v WHEN 'fail' THEN 1 << (i % 5) ELSE 0 END,
    CASE v WHEN 'intermittent' THEN 1 << (i / 5 % 5) ELSE 0 END,
    chr(65 + (i / 4 % 4)), 'FX-' || (i % 4), false, true,
    CASE v WHEN 'pass' THEN NULL WHEN 'incomplete' THEN '1 unanswered' ELSE 'a line' END,
    0, CASE v WHEN 'incomplete' THEN 1 ELSE 0 END, 10, 13.9 + (i % 13) * 0.01, 14.1, 14.3
FROM (SELECT i, timestamptz '2026-04-04 08:00Z' + (i % 400000 / 1600) * interval '1 day'
          + (i % 1600) * interval '7 s' + (i / 400000) * interval '1 min' AS at,
          (ARRAY['pass', 'pass', 'pass', 'fail', 'pass', 'intermittent', 'pass',
                 'incomplete'])[(i::bigint * 7919) % 8 + 1] AS v
      FROM generate_series(0, $runs - 1) i) g;
INSERT INTO line_results (run_id, line, code, ok, error, verdict)
SELECT r.run_id, l.line, l.code, 10, 0,
    CASE WHEN r.failed_lines & (1 << l.bit) <> 0 THEN 'fail'
         WHEN r.intermittent_lines & (1 << l.bit) <> 0 THEN 'intermittent' ELSE 'pass' END
FROM runs r, (VALUES (0, 'DTR - CD RTU', 'dtr_cd_rtu'), (1, 'RTS - CTS RTU', 'rts_cts_rtu'),
    (2, 'CTS - RTS CPU', 'cts_rts_cpu'), (3, 'CD - DTR CPU', 'cd_dtr_cpu'),
    (4, 'TX - RX RTU', 'tx_rx_rtu')) AS l (bit, line, code);
VACUUM ANALYZE;
SQL
echo "made $runs runs and their line results in $(($(date +%s) - start)) s"

last=$(psql -A -t -c "SELECT max(start_utc) FROM runs")
first=$(psql -A -t -c "SELECT min(start_utc) FROM runs")
/usr/bin/python3 - "$here/../docs/grafana-dashboard.json" "$first" "$last" >"$work/panels" <<'PANELS'
import json, re, sys
first, last = sys.argv[2], sys.argv[3]
for panel in json.load(open(sys.argv[1]))["panels"]:
    for name, since in (("7 days", f"timestamptz '{last}' - interval '7 days'"),
                        ("whole period", f"timestamptz '{first}'")):
        sql = re.sub(r"\$__timeFilter\((\w+)\)",
                     lambda m: f"{m.group(1)} BETWEEN {since} AND timestamptz '{last}'",
                     panel["targets"][0]["rawSql"])
        print(json.dumps([panel["title"] + ", " + name, sql]))
PANELS
while IFS= read -r line; do
    title=$(/usr/bin/python3 -c 'import json,sys; print(json.loads(sys.argv[1])[0])' "$line")
    sql=$(/usr/bin/python3 -c 'import json,sys; print(json.loads(sys.argv[1])[1])' "$line")
    times=()
    for _ in 1 2 3; do
        t=$(psql -c '\timing on' -c "$sql" | sed -n 's/^Time: \([0-9.]*\) ms.*/\1/p' | tail -1)
        times+=("$t")
    done
    median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 2p)
    printf '%-55s %9.1f ms (median of 3; budget 1000 ms)\n' "$title" "$median"
done <"$work/panels"
