#include "plantschema.h"

#include <cstdlib>

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
};

constexpr const char *scriptHeading =
    R"(-- The plant database's schema for converter-results push, run by a DBA as the role that is to
-- own the tables:  psql -v ON_ERROR_STOP=1 -d DATABASE -f plant-schema.sql
-- It brings a database of any earlier version (none at all included) to this version, and
-- leaves one at this version or a newer one as it is. Then push needs, on these tables, only
-- SELECT, INSERT and UPDATE (and TEMPORARY on the database, which every role has by default),
-- and converter-line --plant SELECT on the view of attempts:
--   GRANT SELECT, INSERT, UPDATE ON converter_schema, runs, line_results, polls, maintenance
--       TO bench;
--   GRANT SELECT ON unit_attempts, first_attempts TO bench;
)";

// The schema's version as the database holds it; 0 for none.
constexpr const char *versionFound = "SELECT coalesce(max(version), 0) FROM converter_schema";

} // namespace

std::string plantSchemaScript()
{
    std::string script = std::string(scriptHeading) + "BEGIN;\nSELECT pg_advisory_xact_lock(" +
                         std::to_string(plantLockKey) +
                         ");\nCREATE TABLE IF NOT EXISTS converter_schema (version integer NOT "
                         "NULL);\nDO $steps$ BEGIN\n";
    for (int step = 0; step < plantSchemaVersion; ++step)
        script += "IF (" + std::string(versionFound) + ") < " + std::to_string(step + 1) +
                  " THEN\n-- step " + std::to_string(step + 1) + "\n" + plantSteps[step] +
                  "END IF;\n";
    script += "IF (" + std::string(versionFound) + ") < " + std::to_string(plantSchemaVersion) +
              " THEN\nINSERT INTO converter_schema VALUES (" + std::to_string(plantSchemaVersion) +
              ");\nEND IF;\nEND $steps$;\nCOMMIT;\n";
    return script;
}

void preparePlantSchema(PlantConnection &plant)
{
    const std::string script =
        "a DBA runs the plant schema script (converter-results plant-schema prints it; "
        "installed as /usr/share/doc/converter-station/plant-schema.sql)";
    plant.run("BEGIN");
    plant.run("SELECT pg_advisory_xact_lock(" + std::to_string(plantLockKey) + ")",
              PGRES_TUPLES_OK);
    // Read only: a role granted no more than it needs to push is never refused here.
    const Result exists =
        plant.run("SELECT to_regclass('converter_schema') IS NOT NULL", PGRES_TUPLES_OK);
    int found = 0;
    const bool there = PQgetvalue(exists.get(), 0, 0)[0] == 't';
    if (there) {
        const Result version = plant.run(versionFound, PGRES_TUPLES_OK);
        found = std::atoi(PQgetvalue(version.get(), 0, 0));
    }
    if (found > plantSchemaVersion)
        throw PlantError("the plant's database holds schema version " + std::to_string(found) +
                         ", newer than the version " + std::to_string(plantSchemaVersion) +
                         " this program writes; nothing was sent");
    if (found < plantSchemaVersion) {
        // Tables of another role are not this program's to change.
        if (found > 0) {
            const Result owned = plant.run(
                "SELECT bool_and(pg_has_role(relowner, 'USAGE')) FROM pg_class WHERE oid IN "
                "('converter_schema'::regclass, 'runs'::regclass, 'line_results'::regclass, "
                "'polls'::regclass)",
                PGRES_TUPLES_OK);
            if (PQgetvalue(owned.get(), 0, 0)[0] != 't')
                throw PlantError("the plant's database holds schema version " +
                                 std::to_string(found) + " and this program writes version " +
                                 std::to_string(plantSchemaVersion) +
                                 ", but its tables are not this role's: " + script +
                                 " as their owner; nothing was sent");
        }
        try {
            if (!there)
                plant.run("CREATE TABLE converter_schema (version integer NOT NULL)");
            for (int step = found; step < plantSchemaVersion; ++step)
                plant.run(plantSteps[step]);
        } catch (const PlantError &error) {
            if (error.sqlState != "42501")
                throw;
            throw PlantError(std::string(error.what()) +
                                 ": this role may not create the plant's "
                                 "tables; " +
                                 script + "; nothing was sent",
                             error.sqlState);
        }
        plant.run("INSERT INTO converter_schema VALUES (" + std::to_string(plantSchemaVersion) +
                  ")");
    }
    plant.run("COMMIT");
}

} // namespace results
