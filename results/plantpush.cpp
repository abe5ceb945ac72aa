#include "plantpush.h"

#include "terminaltext.h"

#include <libpq-fe.h>

#include <memory>
#include <vector>

namespace results {

namespace {

constexpr int plantSchemaVersion = 3;

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
constexpr const char *plantSteps[plantSchemaVersion] = {
    plantSchema,
    "ALTER TABLE runs ADD COLUMN station_late integer NOT NULL DEFAULT 0",
    "ALTER TABLE runs ADD COLUMN slot text",
};

constexpr const char *runColumns =
    "run_id, unit_id, attempt, port, operator, station, tool, tool_version, invocation_id, "
    "start_utc, end_utc, verdict, exit_status, polled, polls, replies, measured, unanswered, "
    "late, too_short, no_head, two_frames, flood, station_late, protocols, versions, "
    "protocol_name, protocols_sha256, expectations, message, failed_lines, intermittent_lines, "
    "slot";

struct ConnectionCloser
{
    void operator()(PGconn *connection) const { PQfinish(connection); }
};
struct ResultClearer
{
    void operator()(PGresult *result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClearer>;

class Plant
{
public:
    explicit Plant(const std::string &url) : m_connection(PQconnectdb(url.c_str()))
    {
        if (!m_connection || PQstatus(m_connection.get()) != CONNECTION_OK)
            fail("cannot reach the plant's database");
        PQsetNoticeProcessor(
            m_connection.get(), [](void *, const char *) {}, nullptr);
    }

    [[noreturn]] void fail(const std::string &doing)
    {
        std::string why = m_connection ? PQerrorMessage(m_connection.get()) : "out of memory";
        while (!why.empty() && (why.back() == '\n' || why.back() == ' '))
            why.pop_back();
        throw PlantError(doing + ": " + cli::printable(why, 400));
    }

    Result run(const std::string &sql, ExecStatusType expected = PGRES_COMMAND_OK)
    {
        Result result(PQexec(m_connection.get(), sql.c_str()));
        if (!result || PQresultStatus(result.get()) != expected)
            fail("the plant's database refused the runs");
        return result;
    }

    void copy(const std::string &table, const std::string &columns, const std::string &rows)
    {
        run("COPY " + table + " (" + columns + ") FROM STDIN", PGRES_COPY_IN);
        if (PQputCopyData(m_connection.get(), rows.data(), static_cast<int>(rows.size())) != 1 ||
            PQputCopyEnd(m_connection.get(), nullptr) != 1)
            fail("sending the runs");
        for (Result result(PQgetResult(m_connection.get())); result;
             result.reset(PQgetResult(m_connection.get())))
            if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
                fail("the plant's database refused the runs");
    }

private:
    std::unique_ptr<PGconn, ConnectionCloser> m_connection;
};

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

std::string rowsOf(store::Statement &query, int columns, int bytesColumn = -1)
{
    std::string rows;
    while (query.step()) {
        for (int i = 0; i < columns; ++i)
            addField(rows, query, i, i == bytesColumn);
        rows += '\n';
    }
    return rows;
}

void prepareSchema(Plant &plant)
{
    plant.run("BEGIN");
    plant.run("SELECT pg_advisory_xact_lock(4279627856)", PGRES_TUPLES_OK);
    plant.run("CREATE TABLE IF NOT EXISTS converter_schema (version integer NOT NULL)");
    const Result version =
        plant.run("SELECT coalesce(max(version), 0) FROM converter_schema", PGRES_TUPLES_OK);
    const int found = std::atoi(PQgetvalue(version.get(), 0, 0));
    if (found > plantSchemaVersion)
        throw PlantError("the plant's database holds schema version " + std::to_string(found) +
                         ", newer than the version " + std::to_string(plantSchemaVersion) +
                         " this program writes; nothing was sent");
    if (found < plantSchemaVersion) {
        for (int step = found; step < plantSchemaVersion; ++step)
            plant.run(plantSteps[step]);
        plant.run("INSERT INTO converter_schema VALUES (" + std::to_string(plantSchemaVersion) +
                  ")");
    }
    plant.run("COMMIT");
    for (const char *table : {"runs", "line_results", "polls"})
        plant.run(std::string("CREATE TEMP TABLE incoming_") + table + " (LIKE " + table +
                  " INCLUDING DEFAULTS) ON COMMIT DELETE ROWS");
}

} // namespace

PushCount push(store::ResultStore &store, const std::string &url, int batchSize)
{
    Plant plant(url);
    prepareSchema(plant);
    PushCount count;
    store::Database &db = store.db();
    auto pending = db.prepare("SELECT id FROM runs WHERE forwarded = 0 ORDER BY id LIMIT ?");
    auto runs = db.prepare(std::string("SELECT ") + runColumns +
                           " FROM runs WHERE forwarded = 0 AND id BETWEEN ?1 AND ?2");
    auto lines = db.prepare("SELECT r.run_id, l.line, l.ok, l.error, l.verdict FROM line_results "
                            "l JOIN runs r ON r.id = l.run WHERE r.forwarded = 0 AND "
                            "l.run BETWEEN ?1 AND ?2");
    auto polls = db.prepare("SELECT r.run_id, p.poll, p.outcome, hex(p.bytes) FROM polls p "
                            "JOIN runs r ON r.id = p.run WHERE r.forwarded = 0 AND "
                            "p.run BETWEEN ?1 AND ?2");
    auto mark = db.prepare("UPDATE runs SET forwarded = 1 WHERE forwarded = 0 AND id BETWEEN ?1 "
                           "AND ?2");
    for (;;) {
        std::vector<std::int64_t> ids;
        pending.bind(1, batchSize);
        while (pending.step())
            ids.push_back(pending.integer(0));
        pending.reset();
        if (ids.empty())
            return count;
        // Every run not yet forwarded from the first to the last of the batch is in it.
        for (auto *query : {&runs, &lines, &polls})
            query->bind(1, ids.front()).bind(2, ids.back());
        const std::string runRows = rowsOf(runs, 33);
        const std::string lineRows = rowsOf(lines, 5);
        const std::string pollRows = rowsOf(polls, 4, 3);
        for (auto *query : {&runs, &lines, &polls})
            query->reset();

        plant.run("BEGIN");
        plant.copy("incoming_runs", runColumns, runRows);
        plant.copy("incoming_line_results", "run_id, line, ok, error, verdict", lineRows);
        plant.copy("incoming_polls", "run_id, poll, outcome, bytes", pollRows);
        const Result added =
            plant.run(std::string("INSERT INTO runs (") + runColumns + ") SELECT " + runColumns +
                      " FROM incoming_runs ON CONFLICT DO NOTHING");
        plant.run("INSERT INTO line_results SELECT * FROM incoming_line_results ON CONFLICT DO "
                  "NOTHING");
        plant.run("INSERT INTO polls SELECT * FROM incoming_polls ON CONFLICT DO NOTHING");
        plant.run("COMMIT");

        store::Transaction transaction(db);
        mark.bind(1, ids.front()).bind(2, ids.back()).run();
        transaction.commit();
        const auto sent = static_cast<std::int64_t>(ids.size());
        count.sent += sent;
        count.alreadyIn += sent - std::atoll(PQcmdTuples(added.get()));
    }
}

} // namespace results
