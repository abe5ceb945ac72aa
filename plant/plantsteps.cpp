#include "plantsteps.h"

namespace results {

namespace {

// Created once by whichever bench PC pushes first; the others wait on the lock and find them.
constexpr const char *plantSchema = R"(
CREATE TABLE runs (
    run_id text PRIMARY KEY,
    unit_id text,
    attempt integer,
    port text NOT NULL,
    operator text,
    station text,
    tool text NOT NULL,
    tool_version text NOT NULL,
    invocation_id text,
    start_utc timestamptz NOT NULL,
    end_utc timestamptz NOT NULL,
    verdict text NOT NULL,
    exit_status integer NOT NULL,
    polled boolean NOT NULL,
    polls integer NOT NULL,
    replies integer NOT NULL,
    measured integer NOT NULL,
    unanswered integer NOT NULL,
    late integer NOT NULL,
    too_short integer NOT NULL,
    no_head integer NOT NULL,
    two_frames integer NOT NULL,
    flood integer NOT NULL,
    protocols text,
    versions text,
    protocol_name text,
    protocols_sha256 text,
    expectations jsonb,
    message text,
    failed_lines integer NOT NULL,
    intermittent_lines integer NOT NULL,
    pushed_at timestamptz NOT NULL DEFAULT now());
CREATE INDEX runs_unit ON runs (unit_id, start_utc);
CREATE INDEX runs_start ON runs (start_utc);
CREATE TABLE line_results (
    run_id text NOT NULL REFERENCES runs (run_id),
    line text NOT NULL,
    ok integer NOT NULL,
    error integer NOT NULL,
    verdict text NOT NULL,
    PRIMARY KEY (run_id, line));
CREATE TABLE polls (
    run_id text NOT NULL REFERENCES runs (run_id),
    poll integer NOT NULL,
    outcome text NOT NULL,
    bytes bytea,
    PRIMARY KEY (run_id, poll));
)";

} // namespace

// Each step brings a plant schema of the version before it to the next.
const char *const plantSteps[plantSchemaVersion] = {
    plantSchema,
    "ALTER TABLE runs ADD COLUMN station_late integer NOT NULL DEFAULT 0;\n",
    "ALTER TABLE runs ADD COLUMN slot text;\n",
    // Where each run was made, golden runs, and whether a run counts as its unit's attempt; the
    // slots' maintenance; each unit's attempts numbered across every bench PC.
    R"(ALTER TABLE runs ADD COLUMN fixture text, ADD COLUMN adapter text,
    ADD COLUMN usb_vendor text, ADD COLUMN usb_product text, ADD COLUMN usb_serial text,
    ADD COLUMN golden boolean NOT NULL DEFAULT false, ADD COLUMN counts_as_attempt boolean;
UPDATE runs SET counts_as_attempt = attempt IS NOT NULL;
ALTER TABLE runs ALTER COLUMN counts_as_attempt SET NOT NULL,
    ALTER COLUMN counts_as_attempt SET DEFAULT false;
CREATE TABLE maintenance (
    maintenance_id text PRIMARY KEY,
    station text,
    target text NOT NULL,
    kind text NOT NULL,
    at_utc timestamptz NOT NULL,
    by_whom text,
    note text NOT NULL,
    pushed_at timestamptz NOT NULL DEFAULT now());
CREATE VIEW unit_attempts AS
    SELECT run_id, unit_id, station, slot, fixture, start_utc, verdict,
        row_number() OVER (PARTITION BY unit_id ORDER BY start_utc, run_id) AS plant_attempt
    FROM runs WHERE unit_id IS NOT NULL AND polled AND NOT golden AND counts_as_attempt;
CREATE VIEW first_attempts AS SELECT * FROM unit_attempts WHERE plant_attempt = 1;
)",
    // Why each run went as it did and the link's timing; line codes; the value sets by bit; the
    // views dashboards read. Days are UTC days.
    R"(ALTER TABLE runs ADD COLUMN reason text,
    ADD COLUMN failed_expectations integer NOT NULL DEFAULT 0,
    ADD COLUMN causes integer NOT NULL DEFAULT 0, ADD COLUMN rt_count integer NOT NULL DEFAULT 0,
    ADD COLUMN rt_median double precision, ADD COLUMN rt_p95 double precision,
    ADD COLUMN rt_max double precision;
ALTER TABLE line_results ADD COLUMN code text;
UPDATE line_results SET code = lower(replace(replace(line, ' - ', '_'), ' ', '_'));
ALTER TABLE polls ADD COLUMN round_trip_ms double precision;
CREATE INDEX runs_attempts ON runs (unit_id, start_utc, run_id) INCLUDE (verdict, station)
    WHERE unit_id IS NOT NULL AND polled AND NOT golden AND counts_as_attempt;
CREATE INDEX runs_link ON runs (coalesce(station, ''), port, start_utc) INCLUDE (rt_median)
    WHERE rt_count > 0;
CREATE INDEX runs_problems ON runs (start_utc) WHERE verdict <> 'pass';
CREATE TABLE expectation_names (bit integer PRIMARY KEY, name text NOT NULL);
INSERT INTO expectation_names VALUES (0, 'protocol'), (1, 'version'), (2, 'TS modes'),
    (3, 'round trip');
CREATE TABLE line_names (bit integer PRIMARY KEY, line text NOT NULL, code text NOT NULL);
INSERT INTO line_names VALUES (0, 'DTR - CD RTU', 'dtr_cd_rtu'), (1, 'RTS - CTS RTU', 'rts_cts_rtu'),
    (2, 'CTS - RTS CPU', 'cts_rts_cpu'), (3, 'CD - DTR CPU', 'cd_dtr_cpu'),
    (4, 'TX - RX RTU', 'tx_rx_rtu');
CREATE TABLE cause_names (bit integer PRIMARY KEY, name text NOT NULL);
INSERT INTO cause_names VALUES (0, 'unanswered'), (1, 'late'), (2, 'tooShort'), (3, 'noHead'),
    (4, 'twoFrames'), (5, 'flood'), (6, 'stationLate'), (7, 'port'), (8, 'interrupted');
CREATE INDEX runs_attempt_days ON runs (
    (date_trunc('day', start_utc AT TIME ZONE 'UTC') AT TIME ZONE 'UTC'))
    WHERE unit_id IS NOT NULL AND polled AND NOT golden AND counts_as_attempt;
CREATE INDEX runs_loose_days ON runs (
    (date_trunc('day', start_utc AT TIME ZONE 'UTC') AT TIME ZONE 'UTC'))
    WHERE unit_id IS NULL AND polled;
CREATE INDEX runs_slot_days ON runs (
    (date_trunc('day', start_utc AT TIME ZONE 'UTC') AT TIME ZONE 'UTC'))
    WHERE polled AND NOT golden AND verdict IN ('pass', 'fail', 'intermittent');
CREATE VIEW unit_summary AS
    SELECT f.unit_id, f.start_utc, f.station, f.verdict AS first_verdict, a.last_verdict,
        a.attempts, a.passed_attempts
    FROM runs f CROSS JOIN LATERAL (
        SELECT count(*) AS attempts, count(*) FILTER (WHERE e.verdict = 'pass') AS passed_attempts,
            (array_agg(e.verdict ORDER BY e.start_utc DESC, e.run_id DESC))[1] AS last_verdict
        FROM runs e WHERE e.unit_id = f.unit_id AND e.polled AND NOT e.golden AND
            e.counts_as_attempt) a
    WHERE f.unit_id IS NOT NULL AND f.polled AND NOT f.golden AND f.counts_as_attempt AND
        NOT EXISTS (SELECT 1 FROM runs e WHERE e.unit_id = f.unit_id AND e.polled AND
            NOT e.golden AND e.counts_as_attempt AND (e.start_utc, e.run_id) < (f.start_utc, f.run_id));
CREATE VIEW yield_by_station AS
    WITH parts AS (
        SELECT date_trunc('day', start_utc AT TIME ZONE 'UTC') AT TIME ZONE 'UTC' AS start_utc,
            coalesce(station, '') AS station, 1 AS units, attempts AS unit_runs,
            (first_verdict = 'pass')::int AS first_passed,
            (last_verdict = 'pass')::int AS last_passed, passed_attempts AS passed_runs
        FROM unit_summary
        UNION ALL
        SELECT date_trunc('day', start_utc AT TIME ZONE 'UTC') AT TIME ZONE 'UTC',
            coalesce(station, ''), 0, 0, 0,
            0, (verdict = 'pass')::int
        FROM runs WHERE unit_id IS NULL AND polled)
    SELECT start_utc, station, sum(units) AS units,
        sum(unit_runs) AS unit_runs, sum(unit_runs) + count(*) - sum(units) AS runs,
        sum(first_passed) AS first_passed, sum(last_passed) AS last_passed,
        sum(passed_runs) AS passed_runs,
        sum(first_passed)::float8 / nullif(sum(units), 0) AS fpy,
        sum(last_passed)::float8 / nullif(sum(units), 0) AS lpy,
        sum(passed_runs)::float8 / nullif(sum(unit_runs) + count(*) - sum(units), 0) AS run_yield,
        (sum(unit_runs) - sum(units))::float8 / nullif(sum(units), 0) AS retest_rate
    FROM parts GROUP BY start_utc, station;
CREATE VIEW yield_by_day AS
    SELECT start_utc, sum(units) AS units, sum(unit_runs) AS unit_runs, sum(runs) AS runs,
        sum(first_passed) AS first_passed, sum(last_passed) AS last_passed,
        sum(passed_runs) AS passed_runs,
        sum(first_passed)::float8 / nullif(sum(units), 0) AS fpy,
        sum(last_passed)::float8 / nullif(sum(units), 0) AS lpy,
        sum(passed_runs)::float8 / nullif(sum(runs), 0) AS run_yield,
        (sum(unit_runs) - sum(units))::float8 / nullif(sum(units), 0) AS retest_rate
    FROM yield_by_station GROUP BY start_utc;
CREATE VIEW pareto AS
    SELECT c.start_utc, c.station, coalesce(c.slot, c.port) AS slot,
        coalesce(c.unit_id, c.run_id) AS unit, 'line' AS kind, l.line AS name, l.code,
        c.failed_lines & (1 << l.bit) <> 0 AS failed,
        c.intermittent_lines & (1 << l.bit) <> 0 AS intermittent
    FROM runs c JOIN line_names l ON (c.failed_lines | c.intermittent_lines) & (1 << l.bit) <> 0
    WHERE c.verdict <> 'pass' AND NOT c.golden AND c.polled AND
        NOT (c.unit_id IS NOT NULL AND NOT c.counts_as_attempt)
    UNION ALL
    SELECT c.start_utc, c.station, coalesce(c.slot, c.port), coalesce(c.unit_id, c.run_id),
        'expectation', e.name, NULL, true, false
    FROM runs c JOIN expectation_names e ON c.failed_expectations & (1 << e.bit) <> 0
    WHERE c.verdict <> 'pass' AND NOT c.golden AND c.polled AND
        NOT (c.unit_id IS NOT NULL AND NOT c.counts_as_attempt)
    UNION ALL
    SELECT c.start_utc, c.station, coalesce(c.slot, c.port), coalesce(c.unit_id, c.run_id),
        'incomplete', n.name, NULL, true, false
    FROM runs c JOIN cause_names n ON c.causes & (1 << n.bit) <> 0
    WHERE c.verdict <> 'pass' AND NOT c.golden AND
        NOT (c.polled AND c.unit_id IS NOT NULL AND NOT c.counts_as_attempt);
CREATE VIEW slot_health AS
    SELECT date_trunc('day', start_utc AT TIME ZONE 'UTC') AT TIME ZONE 'UTC' AS start_utc,
        coalesce(station, '') AS station, coalesce(slot, port) AS slot, max(fixture) AS fixture,
        max(coalesce(adapter, usb_vendor || ':' || usb_product || ':' ||
            coalesce(usb_serial, ''))) AS adapter,
        count(*) AS runs, count(*) FILTER (WHERE verdict <> 'pass') AS failed,
        count(*) FILTER (WHERE verdict <> 'pass')::float8 / count(*) AS rate
    FROM runs WHERE polled AND NOT golden AND verdict IN ('pass', 'fail', 'intermittent')
    GROUP BY 1, 2, 3;
CREATE VIEW link_timing AS
    SELECT r.start_utc, coalesce(r.station, '') AS station, r.port,
        coalesce(r.slot, r.port) AS slot, r.run_id, r.rt_count, r.rt_median, r.rt_p95, r.rt_max,
        abs(r.rt_median - (SELECT p.rt_median FROM runs p WHERE p.rt_count > 0 AND
            coalesce(p.station, '') = coalesce(r.station, '') AND p.port = r.port AND
            p.start_utc < r.start_utc ORDER BY p.start_utc DESC LIMIT 1)) AS moving_range
    FROM runs r WHERE r.rt_count > 0;
)",
};

} // namespace results

namespace results {

const char *const plantReference = R"(--
-- What the tables hold. Times are timestamptz, stored as UTC; the views' days are UTC days
-- (converter-results --tz UTC gives the same figures).
--
-- converter_schema (version): the schema's version, one row a step applied; the highest counts.
--
-- runs: one row a unit's run on a bench PC, pushed once (run_id is unique across every PC).
--   run_id            a random UUID
--   unit_id           the unit's id as filed (upper case unless the line keeps case); NULL: none
--   attempt           the bench PC's own attempt number of the unit; NULL: not an attempt.
--                     Across PCs, count unit_attempts.plant_attempt instead.
--   port, operator, station, tool, tool_version, invocation_id
--                     where, by whom and with what; invocation_id is shared by the runs of one
--                     invocation; operator and station NULL when not given
--   start_utc, end_utc
--   verdict           'pass', 'fail', 'intermittent', 'incomplete' (polls without a measurement
--                     kept the unit from passing; also a port that did not open) or
--                     'interrupted' (a quit signal cut the run short: never a verdict)
--   exit_status       0 pass, 1 fail or intermittent, 2 incomplete, 3 the port did not open,
--                     128 + the signal for an interrupted run
--   polled            true when the unit was polled and the run ended by itself: an attempt.
--                     False for a port that did not open (incomplete, exit 3) and for every
--                     interrupted run, however many polls it made: leave these out of yield.
--   polls, replies, measured
--                     polls sent, replies decoded, polls measured (one reply of its own)
--   unanswered, late, too_short, no_head, two_frames, flood, station_late
--                     the polls without a measurement, by outcome
--   protocols, versions
--                     the protocol and version numbers the replies reported, as a text list
--                     such as '5' or '5, 7' (NULL: no reply decoded)
--   protocol_name, protocols_sha256
--                     the protocol list's name for it, and the list file's SHA-256
--   expectations      a JSON array, one object an expectation given:
--                     {"name": "protocol"|"version"|"TS modes"|"round trip", "expected": ...,
--                      "seen": [...], "met": true|false|null (null: nothing seen)}
--   message           the decision as the program said it, hints on lines of their own
--   failed_lines, intermittent_lines
--                     bits of the line tests, bit 0 the first of line_results' order
--   slot, fixture     the fixture slot's name and the fixture's id; NULL: none
--   adapter, usb_vendor, usb_product, usb_serial
--                     the USB adapter: its /dev/serial/by-id name and USB ids; NULL: none
--   golden            a golden unit's run: it verifies its slot, is no attempt, not in yield
--   counts_as_attempt whether a polled run is an attempt of its unit (false for a golden
--                     unit and for a failure in a slot then suspect)
--   reason            why, in a few words: the lines and expectations that failed ('TX - RX
--                     RTU, protocol expected 5, seen 7'), the misses ('3 unanswered, 1 late'),
--                     'port did not open: ...', 'interrupted by SIGTERM'; NULL for a pass
--   failed_expectations
--                     bits of expectation_names: the expectations the run missed
--   causes            of an incomplete or interrupted run, bits of cause_names: why it has no
--                     verdict; 0 otherwise
--   rt_count, rt_median, rt_p95, rt_max
--                     the measured polls' round trips (poll sent to reply decoded), in ms:
--                     how many, median, 95th percentile (nearest rank) and greatest; NULL
--                     figures when rt_count is 0
--   pushed_at         when the plant received it
--
-- line_results: one row a run's line test.
--   run_id, line (the caption, 'TX - RX RTU'), code (stable: 'dtr_cd_rtu', 'rts_cts_rtu',
--   'cts_rts_cpu', 'cd_dtr_cpu', 'tx_rx_rtu'), ok and error (the decoded replies that said
--   "OK" and "Error"), verdict: 'pass', 'fail', 'intermittent' or 'none' (no decoded reply)
--
-- polls: one row a poll, the evidence of the verdict.
--   run_id, poll (from 1), outcome: 'measured', 'unanswered', 'late', 'tooShort', 'noHead',
--   'twoFrames', 'flood', 'stationLate' or 'interrupted' (the poll a signal cut short); bytes:
--   what its period held, as received; round_trip_ms: of a measured poll, else NULL
--
-- maintenance: a slot's or fixture's service: maintenance_id, station, target (the slot or
--   fixture), kind ('slot' or 'fixture'), at_utc, by_whom, note, pushed_at
--
-- line_names (bit, line, code), expectation_names (bit, name), cause_names (bit, name): the
--   names of the bits of runs.failed_lines and intermittent_lines, runs.failed_expectations and
--   runs.causes
--
-- Indexes: runs_unit, runs_start, runs_attempts (a unit's attempts), runs_link (each port's
--   round trips), runs_problems (runs that did not pass).
--
-- Views, each with the meaning of the converter-results command of its name:
--   unit_attempts   each unit's attempts across every bench PC, numbered by start
--                   (plant_attempt): golden runs, runs not polled and runs that do not count
--                   left out
--   first_attempts  each unit's first attempt
--   unit_summary    each unit: first start, its station, first and last verdict, attempts and
--                   passed attempts
--   yield_by_station, yield_by_day
--                   start_utc (the UTC day), station (of the unit's first attempt), units (first
--                   tested that day), unit_runs (their attempts, all of them), runs (those and
--                   the polled runs without a unit id), first_passed, last_passed, passed_runs,
--                   fpy, lpy, run_yield and retest_rate (NULL with nothing to divide by)
--   pareto          one row a failed line test, missed expectation or cause of a run without
--                   verdict: start_utc, station, slot, unit (the unit id, else the run id),
--                   kind ('line', 'expectation', 'incomplete'), name, code (of a line),
--                   failed, intermittent. Count DISTINCT unit FILTER (WHERE failed) and
--                   (WHERE intermittent) by kind and name. Golden runs and runs that are no
--                   attempt of their unit are left out.
--   slot_health     each slot's runs with a verdict a UTC day: station, slot, fixture, adapter,
--                   runs, failed (failed or intermittent), rate. Which slot is suspect (the
--                   binomial test and the marks) is converter-results slots' to say.
--   link_timing     each run with a measured round trip: station, port, slot, run_id, rt_count,
--                   rt_median, rt_p95, rt_max, and moving_range (to the port's run before)
--
)";

} // namespace results
