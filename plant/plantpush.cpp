#include "plantpush.h"

#include "plantschema.h"

#include "terminaltext.h"

#include <vector>

namespace results {

namespace {

constexpr const char *runColumns =
    "run_id, unit_id, attempt, port, operator, station, tool, tool_version, invocation_id, "
    "start_utc, end_utc, verdict, exit_status, polled, polls, replies, measured, unanswered, "
    "late, too_short, no_head, two_frames, flood, station_late, protocols, versions, "
    "protocol_name, protocols_sha256, expectations, message, failed_lines, intermittent_lines, "
    "slot, fixture, adapter, usb_vendor, usb_product, usb_serial, golden, counts_as_attempt, "
    "reason, failed_expectations, causes, rt_count, rt_median, rt_p95, rt_max";
constexpr int runColumnCount = 47;

// A value in COPY's text format.
void addField(std::string &row, const store::Statement &query, int column, bool bytes = false)
{
    if (!row.empty() && row.back() != '\n')
        row += '\t';
    if (query.isNull(column)) {
        row += "\\N";
        return;
    }
    if (bytes)
        row += "\\\\x";
    for (const char c : query.text(column)) {
        switch (c) {
        case '\\':
            row += "\\\\";
            break;
        case '\t':
            row += "\\t";
            break;
        case '\n':
            row += "\\n";
            break;
        case '\r':
            row += "\\r";
            break;
        default:
            row += c;
        }
    }
}

std::string rowsOf(store::Statement &query, int columns, int bytesColumn = -1,
                   std::int64_t *count = nullptr)
{
    std::string rows;
    while (query.step()) {
        if (count)
            ++*count;
        for (int i = 0; i < columns; ++i)
            addField(rows, query, i, i == bytesColumn);
        rows += '\n';
    }
    return rows;
}

// The runs with ids from `first` to `last` not yet forwarded nor set aside, in one transaction
// of the plant's; how many of them the plant held before.
std::int64_t sendRuns(PlantConnection &plant, store::Database &db, std::int64_t first,
                      std::int64_t last)
{
    auto runs = db.prepare(std::string("SELECT ") + runColumns +
                           " FROM runs WHERE forwarded = 0 AND held IS NULL AND id BETWEEN ?1 "
                           "AND ?2");
    auto lines = db.prepare("SELECT r.run_id, l.line, l.ok, l.error, l.verdict, l.code FROM "
                            "line_results "
                            "l JOIN runs r ON r.id = l.run WHERE r.forwarded = 0 AND r.held IS "
                            "NULL AND l.run BETWEEN ?1 AND ?2");
    auto polls = db.prepare("SELECT r.run_id, p.poll, p.outcome, hex(p.bytes), p.round_trip_ms "
                            "FROM polls p "
                            "JOIN runs r ON r.id = p.run WHERE r.forwarded = 0 AND r.held IS "
                            "NULL AND p.run BETWEEN ?1 AND ?2");
    for (auto *query : {&runs, &lines, &polls})
        query->bind(1, first).bind(2, last);
    std::int64_t count = 0;
    const std::string runRows = rowsOf(runs, runColumnCount, -1, &count);
    const std::string lineRows = rowsOf(lines, 6);
    const std::string pollRows = rowsOf(polls, 5, 3);
    plant.run("BEGIN");
    plant.copy("incoming_runs", runColumns, runRows);
    plant.copy("incoming_line_results", "run_id, line, ok, error, verdict, code", lineRows);
    plant.copy("incoming_polls", "run_id, poll, outcome, bytes, round_trip_ms", pollRows);
    const Result added = plant.run(std::string("INSERT INTO runs (") + runColumns + ") SELECT " +
                                   runColumns + " FROM incoming_runs ON CONFLICT DO NOTHING");
    plant.run("INSERT INTO line_results SELECT * FROM incoming_line_results ON CONFLICT DO "
              "NOTHING");
    plant.run("INSERT INTO polls SELECT * FROM incoming_polls ON CONFLICT DO NOTHING");
    plant.run("COMMIT");
    // Marked here only once the server has committed them.
    store::Transaction transaction(db);
    db.prepare("UPDATE runs SET forwarded = 1 WHERE forwarded = 0 AND held IS NULL AND id "
               "BETWEEN ?1 AND ?2")
        .bind(1, first)
        .bind(2, last)
        .run();
    transaction.commit();
    return count - std::atoll(PQcmdTuples(added.get()));
}

// The slots' and fixtures' maintenance not yet forwarded, in one transaction of the plant's.
void sendMaintenance(PlantConnection &plant, store::Database &db)
{
    constexpr const char *columns = "maintenance_id, station, target, kind, at_utc, by_whom, note";
    auto rows =
        db.prepare(std::string("SELECT ") + columns + " FROM maintenance WHERE forwarded = 0");
    const std::string sent = rowsOf(rows, 7);
    if (sent.empty())
        return;
    plant.run("BEGIN");
    plant.run("CREATE TEMP TABLE IF NOT EXISTS incoming_maintenance (LIKE maintenance INCLUDING "
              "DEFAULTS) ON COMMIT DELETE ROWS");
    plant.copy("incoming_maintenance", columns, sent);
    plant.run("INSERT INTO maintenance SELECT * FROM incoming_maintenance ON CONFLICT DO NOTHING");
    plant.run("COMMIT");
    store::Transaction transaction(db);
    db.execute("UPDATE maintenance SET forwarded = 1 WHERE forwarded = 0");
    transaction.commit();
}

} // namespace

PushCount push(store::ResultStore &store, const std::string &url, const PushOptions &options)
{
    PlantConnection plant(url, options.timeout);
    return push(store, plant, options);
}

PushCount push(store::ResultStore &store, PlantConnection &plant, const PushOptions &options)
{
    preparePlantSchema(plant);
    for (const char *table : {"runs", "line_results", "polls"})
        plant.run(std::string("CREATE TEMP TABLE IF NOT EXISTS incoming_") + table + " (LIKE " +
                  table + " INCLUDING DEFAULTS) ON COMMIT DELETE ROWS");
    PushCount count;
    store::Database &db = store.db();
    if (options.retryHeld) {
        store::Transaction transaction(db);
        db.execute("UPDATE runs SET held = NULL WHERE held IS NOT NULL AND forwarded = 0");
        transaction.commit();
    }
    auto pending =
        db.prepare("SELECT id FROM runs WHERE forwarded = 0 AND held IS NULL ORDER BY id LIMIT ?");
    for (;;) {
        std::vector<std::int64_t> ids;
        pending.bind(1, options.batchSize);
        while (pending.step())
            ids.push_back(pending.integer(0));
        pending.reset();
        if (ids.empty()) {
            sendMaintenance(plant, db);
            return count;
        }
        try {
            count.alreadyIn += sendRuns(plant, db, ids.front(), ids.back());
            count.sent += static_cast<std::int64_t>(ids.size());
            continue;
        } catch (const PlantError &error) {
            if (!error.refusesData())
                throw;
        }
        // A run the server refuses for its data is found one run at a time and set aside with
        // the server's reason; every other run of the batch is sent.
        plant.run("ROLLBACK");
        for (const std::int64_t id : ids) {
            try {
                count.alreadyIn += sendRuns(plant, db, id, id);
                ++count.sent;
            } catch (const PlantError &error) {
                if (!error.refusesData())
                    throw;
                plant.run("ROLLBACK");
                store::Transaction transaction(db);
                db.prepare("UPDATE runs SET held = ? WHERE id = ?")
                    .bind(1, std::string(error.what()))
                    .bind(2, id)
                    .run();
                transaction.commit();
                ++count.setAside;
            }
        }
    }
}

std::vector<HeldRun> heldRuns(store::ResultStore &store)
{
    auto held = store.db().prepare("SELECT run_id, unit_id, start_utc, held FROM runs WHERE held "
                                   "IS NOT NULL AND forwarded = 0 ORDER BY id");
    std::vector<HeldRun> runs;
    while (held.step())
        runs.push_back({held.text(0), held.text(1), held.text(2), held.text(3)});
    return runs;
}

} // namespace results
