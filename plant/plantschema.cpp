#include "plantschema.h"

#include "plantsteps.h"

#include <cstdlib>

namespace results {

namespace {

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
-- A dashboard's role needs only SELECT on the views and the tables they read:
--   GRANT SELECT ON runs, line_results, line_names, expectation_names, cause_names, unit_attempts,
--       first_attempts, unit_summary, yield_by_day, yield_by_station, pareto, slot_health,
--       link_timing TO dashboard;
)";

// The schema's version as the database holds it; 0 for none.
constexpr const char *versionFound = "SELECT coalesce(max(version), 0) FROM converter_schema";

} // namespace

std::string plantSchemaScript()
{
    std::string script = std::string(scriptHeading) + plantReference +
                         "BEGIN;\nSELECT pg_advisory_xact_lock(" + std::to_string(plantLockKey) +
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
