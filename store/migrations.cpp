#include "migrations.h"

namespace store {

// Each step brings a store of the version before it to the next; one transaction runs them all.
const char *const migrations[schemaVersion] = {
    R"(CREATE TABLE runs (
        id INTEGER PRIMARY KEY,
        run_id TEXT NOT NULL UNIQUE,
        unit_id TEXT,
        attempt INTEGER,
        port TEXT NOT NULL,
        operator TEXT,
        station TEXT,
        tool TEXT NOT NULL,
        tool_version TEXT NOT NULL,
        invocation_id TEXT,
        start_utc TEXT NOT NULL,
        end_utc TEXT NOT NULL,
        verdict TEXT NOT NULL,
        exit_status INTEGER NOT NULL,
        polled INTEGER NOT NULL,
        polls INTEGER NOT NULL,
        replies INTEGER NOT NULL,
        measured INTEGER NOT NULL,
        unanswered INTEGER NOT NULL,
        late INTEGER NOT NULL,
        too_short INTEGER NOT NULL,
        no_head INTEGER NOT NULL,
        two_frames INTEGER NOT NULL,
        flood INTEGER NOT NULL,
        protocols TEXT,
        versions TEXT,
        protocol_name TEXT,
        protocols_sha256 TEXT,
        expectations TEXT,
        message TEXT,
        failed_lines INTEGER NOT NULL,
        intermittent_lines INTEGER NOT NULL,
        forwarded INTEGER NOT NULL DEFAULT 0);
    CREATE UNIQUE INDEX attempts ON runs(unit_id, attempt) WHERE attempt IS NOT NULL;
    CREATE INDEX unit_attempts ON runs(unit_id, attempt, verdict, start_utc)
        WHERE attempt IS NOT NULL;
    CREATE INDEX problem_runs
        ON runs(start_utc, unit_id, run_id, failed_lines, intermittent_lines, verdict)
        WHERE polled = 1 AND (failed_lines != 0 OR intermittent_lines != 0 OR
                              verdict = 'incomplete');
    CREATE INDEX runs_without_unit ON runs(start_utc, verdict, station, operator)
        WHERE unit_id IS NULL AND polled = 1;
    CREATE INDEX unit_runs ON runs(unit_id, start_utc);
    CREATE INDEX runs_by_start ON runs(start_utc);
    CREATE INDEX not_forwarded ON runs(id) WHERE forwarded = 0;
    CREATE TABLE units (
        unit_id TEXT PRIMARY KEY,
        first_start_utc TEXT NOT NULL,
        first_station TEXT,
        first_operator TEXT,
        first_verdict TEXT NOT NULL,
        attempts INTEGER NOT NULL,
        passed_attempts INTEGER NOT NULL,
        last_verdict TEXT NOT NULL,
        max_start_utc TEXT NOT NULL) WITHOUT ROWID;
    CREATE INDEX units_by_first_start ON units(first_start_utc);
    CREATE TABLE line_names (bit INTEGER PRIMARY KEY, line TEXT NOT NULL);
    CREATE TABLE line_results (
        run INTEGER NOT NULL REFERENCES runs(id),
        bit INTEGER NOT NULL,
        line TEXT NOT NULL,
        ok INTEGER NOT NULL,
        error INTEGER NOT NULL,
        verdict TEXT NOT NULL,
        PRIMARY KEY (run, bit)) WITHOUT ROWID;
    CREATE TABLE polls (
        run INTEGER NOT NULL REFERENCES runs(id),
        poll INTEGER NOT NULL,
        outcome TEXT NOT NULL,
        bytes BLOB,
        PRIMARY KEY (run, poll)) WITHOUT ROWID;)",
    // The polls whose period the station itself let run far from 500 ms.
    "ALTER TABLE runs ADD COLUMN station_late INTEGER NOT NULL DEFAULT 0;",
    // Unit ids filed in upper case, as the programs now file them: "sn-7" and "SN-7" are one unit,
    // its attempts numbered again by start time and its summary made anew. Each attempt is first
    // moved out of the way of the unique index.
    R"(UPDATE runs SET attempt = -id WHERE attempt IS NOT NULL;
    UPDATE runs SET unit_id = upper(unit_id) WHERE unit_id != upper(unit_id);
    UPDATE runs SET attempt = (SELECT count(*) FROM runs earlier
        WHERE earlier.unit_id = runs.unit_id AND earlier.attempt IS NOT NULL AND
              (earlier.start_utc < runs.start_utc OR
               (earlier.start_utc = runs.start_utc AND earlier.id <= runs.id)))
        WHERE attempt IS NOT NULL;
    DELETE FROM units;
    INSERT INTO units SELECT first.unit_id, first.start_utc, first.station, first.operator,
        first.verdict, count(*), sum(attempt.verdict = 'pass'),
        (SELECT latest.verdict FROM runs latest WHERE latest.unit_id = first.unit_id AND
             latest.attempt IS NOT NULL ORDER BY latest.attempt DESC LIMIT 1),
        max(attempt.start_utc)
        FROM runs first JOIN runs attempt ON attempt.unit_id = first.unit_id
        WHERE first.attempt = 1 AND attempt.attempt IS NOT NULL GROUP BY first.id;)",
    // The fixture slot each run was tested in; none for runs before it was kept.
    "ALTER TABLE runs ADD COLUMN slot TEXT;",
    // Why the plant's database refused a run's data; such a run is held back from the push.
    "ALTER TABLE runs ADD COLUMN held TEXT;",
    // Where each run was made beyond its slot: the fixture, the adapter (its /dev/serial/by-id
    // name, USB vendor, product and serial number); whether it was a golden unit's, verifying
    // its slot; and whether it counts as an attempt of its unit, decided when it was recorded.
    // The slots' maintenance, their counters' limits, and the slots blocked until a golden unit
    // passes there.
    R"(ALTER TABLE runs ADD COLUMN fixture TEXT;
    ALTER TABLE runs ADD COLUMN adapter TEXT;
    ALTER TABLE runs ADD COLUMN usb_vendor TEXT;
    ALTER TABLE runs ADD COLUMN usb_product TEXT;
    ALTER TABLE runs ADD COLUMN usb_serial TEXT;
    ALTER TABLE runs ADD COLUMN golden INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE runs ADD COLUMN counts_as_attempt INTEGER NOT NULL DEFAULT 0;
    UPDATE runs SET counts_as_attempt = 1 WHERE attempt IS NOT NULL;
    CREATE INDEX slot_runs ON runs(coalesce(station, ''), coalesce(slot, port), start_utc, verdict,
        golden) WHERE polled = 1;
    CREATE INDEX not_attempts ON runs(run_id)
        WHERE polled = 1 AND unit_id IS NOT NULL AND counts_as_attempt = 0;
    CREATE INDEX unit_slots ON runs(unit_id, start_utc, station, slot, port, failed_lines,
        intermittent_lines, verdict, golden) WHERE polled = 1;
    CREATE TABLE maintenance (
        id INTEGER PRIMARY KEY,
        maintenance_id TEXT NOT NULL UNIQUE,
        station TEXT,
        target TEXT NOT NULL,
        kind TEXT NOT NULL,
        at_utc TEXT NOT NULL,
        by_whom TEXT,
        note TEXT NOT NULL,
        forwarded INTEGER NOT NULL DEFAULT 0);
    CREATE TABLE slot_limits (
        station TEXT NOT NULL,
        slot TEXT NOT NULL,
        fixture TEXT,
        warn INTEGER,
        alarm INTEGER,
        PRIMARY KEY (station, slot)) WITHOUT ROWID;
    CREATE TABLE slot_blocks (
        station TEXT NOT NULL,
        slot TEXT NOT NULL,
        reason TEXT NOT NULL,
        since_utc TEXT NOT NULL,
        PRIMARY KEY (station, slot)) WITHOUT ROWID;)",
    // Why each run went as it did: its reason in a few words, the expectations it missed and the
    // causes of an incomplete or interrupted one, as bits; each measured poll's round trip and
    // the run's figures of them; each line test's stable code beside its caption. Runs from
    // before get their message's first line, without its verdict, as their reason.
    R"(ALTER TABLE runs ADD COLUMN reason TEXT;
    ALTER TABLE runs ADD COLUMN failed_expectations INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE runs ADD COLUMN causes INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE runs ADD COLUMN rt_count INTEGER NOT NULL DEFAULT 0;
    ALTER TABLE runs ADD COLUMN rt_median REAL;
    ALTER TABLE runs ADD COLUMN rt_p95 REAL;
    ALTER TABLE runs ADD COLUMN rt_max REAL;
    ALTER TABLE polls ADD COLUMN round_trip_ms REAL;
    ALTER TABLE line_names ADD COLUMN code TEXT;
    ALTER TABLE line_results ADD COLUMN code TEXT;
    UPDATE line_names SET code = lower(replace(replace(line, ' - ', '_'), ' ', '_'));
    UPDATE line_results SET code = lower(replace(replace(line, ' - ', '_'), ' ', '_'));
    UPDATE runs SET reason = iif(verdict = 'pass', NULL,
        substr(message, 1, instr(message || char(10), char(10)) - 1));
    UPDATE runs SET reason = CASE WHEN reason LIKE 'FAIL: %' THEN substr(reason, 7)
        WHEN reason LIKE 'INTERMITTENT: %' THEN substr(reason, 15)
        WHEN reason LIKE 'INCOMPLETE: %' THEN substr(reason, 13) ELSE reason END;
    UPDATE runs SET causes = (unanswered > 0) | (late > 0) << 1 | (too_short > 0) << 2 |
        (no_head > 0) << 3 | (two_frames > 0) << 4 | (flood > 0) << 5 | (station_late > 0) << 6 |
        (exit_status = 3) << 7 | (verdict = 'interrupted') << 8
        WHERE verdict IN ('incomplete', 'interrupted');
    UPDATE runs SET failed_expectations = (SELECT coalesce(sum(DISTINCT CASE e.value ->> 'name'
        WHEN 'protocol' THEN 1 WHEN 'version' THEN 2 WHEN 'TS modes' THEN 4 END), 0)
        FROM json_each(runs.expectations) e WHERE e.value ->> 'met' = 0)
        WHERE verdict = 'fail' AND json_valid(expectations);
    CREATE INDEX run_problems ON runs(start_utc, verdict, polled, golden, counts_as_attempt,
        unit_id, run_id, failed_lines, intermittent_lines, failed_expectations, causes)
        WHERE verdict != 'pass';
    DROP INDEX unit_slots;
    CREATE INDEX unit_slots ON runs(unit_id, start_utc, station, slot, port, failed_lines,
        intermittent_lines, verdict, golden, failed_expectations) WHERE polled = 1;
    CREATE INDEX slow_links ON runs(start_utc, unit_id)
        WHERE polled = 1 AND failed_expectations & 8 != 0;
    CREATE INDEX run_timing ON runs(coalesce(station, ''), port, start_utc, rt_median)
        WHERE rt_count > 0;)",
};

} // namespace store
