-- The plant database's schema for converter-results push, run by a DBA as the role that is to
-- own the tables:  psql -v ON_ERROR_STOP=1 -d DATABASE -f plant-schema.sql
-- It brings a database of any earlier version (none at all included) to this version, and
-- leaves one at this version or a newer one as it is. Then push needs, on these tables, only
-- SELECT, INSERT and UPDATE (and TEMPORARY on the database, which every role has by default),
-- and converter-line --plant SELECT on the view of attempts:
--   GRANT SELECT, INSERT, UPDATE ON converter_schema, runs, line_results, polls, maintenance
--       TO bench;
--   GRANT SELECT ON unit_attempts, first_attempts TO bench;
BEGIN;
SELECT pg_advisory_xact_lock(4279627856);
CREATE TABLE IF NOT EXISTS converter_schema (version integer NOT NULL);
DO $steps$ BEGIN
IF (SELECT coalesce(max(version), 0) FROM converter_schema) < 1 THEN
-- step 1

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
END IF;
IF (SELECT coalesce(max(version), 0) FROM converter_schema) < 2 THEN
-- step 2
ALTER TABLE runs ADD COLUMN station_late integer NOT NULL DEFAULT 0;
END IF;
IF (SELECT coalesce(max(version), 0) FROM converter_schema) < 3 THEN
-- step 3
ALTER TABLE runs ADD COLUMN slot text;
END IF;
IF (SELECT coalesce(max(version), 0) FROM converter_schema) < 4 THEN
-- step 4
ALTER TABLE runs ADD COLUMN fixture text, ADD COLUMN adapter text,
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
END IF;
IF (SELECT coalesce(max(version), 0) FROM converter_schema) < 4 THEN
INSERT INTO converter_schema VALUES (4);
END IF;
END $steps$;
COMMIT;
