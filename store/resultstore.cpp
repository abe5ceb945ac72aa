#include "resultstore.h"

#include "migrations.h"

#include "evidencefile.h"
#include "terminaltext.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace store {

namespace {

// "ZCRS": a results store, whatever its file is called.
constexpr std::int64_t applicationId = 0x5A435253;
// Long enough for 32 checks that finish at the same moment to record one after another.
constexpr int busyTimeoutMs = 30000;

// Runs `work` again while another connection holds a lock that SQLite does not wait for (as
// when many checks open a new store at once), until the busy timeout has passed.
template <typename Work> auto whenFree(Work work)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(busyTimeoutMs);
    for (unsigned attempt = 0;; ++attempt) {
        try {
            return work();
        } catch (const StoreError &error) {
            if (!error.busy || std::chrono::steady_clock::now() >= deadline)
                throw;
        }
        // Spread out, so that those waiting do not all try again at the same moment.
        std::this_thread::sleep_for(
            std::chrono::milliseconds(2 + (attempt * 7 + unsigned(::getpid())) % 23));
    }
}

std::string stateOf(Database &db, std::int64_t &version)
{
    version = db.integer("PRAGMA user_version");
    const std::int64_t id = db.integer("PRAGMA application_id");
    if (id == applicationId ||
        (id == 0 && version == 0 && db.integer("SELECT count(*) FROM sqlite_schema") == 0))
        return {};
    return "it is an SQLite database, but not a results store";
}

} // namespace

std::string defaultStorePath()
{
    const char *data = std::getenv("XDG_DATA_HOME");
    std::string folder;
    if (data && data[0] == '/') {
        folder = data;
    } else {
        const char *home = std::getenv("HOME");
        if (!home || home[0] != '/')
            return {};
        folder = std::string(home) + "/.local/share";
    }
    return folder + "/converter-station/results.sqlite";
}

std::optional<std::string> createFolderOf(const std::string &path)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error)
        return std::filesystem::path(path).parent_path().string() + ": " + error.message();
    return std::nullopt;
}

std::optional<std::string> storeRefusal(const std::string &path)
{
    // SQLite writes beside the store: its log and its shared index are the store too.
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        if (auto why = cli::refusal(path + suffix))
            return (*suffix ? path + suffix + ": " : std::string()) + *why;
    return std::nullopt;
}

std::optional<std::string> writeRefusal(const std::string &path)
{
    // SQLite writes the store and, beside it, its log and shared index.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) != 0)
        return cli::printable(folder) + ": " + std::strerror(errno);
    if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), R_OK | W_OK) != 0)
        return std::string("cannot write it: ") + std::strerror(errno);
    return std::nullopt;
}

ResultStore::ResultStore(const std::string &path, Access access)
    : m_path(path), m_db([&] {
          if (access != Access::Read)
              if (auto why = storeRefusal(path))
                  throw StoreError(StoreError::Kind::Refused, *why);
          struct stat status
          {};
          if (access != Access::Record && ::lstat(path.c_str(), &status) != 0)
              throw StoreError(StoreError::Kind::Missing,
                               std::string("cannot open it: ") + std::strerror(errno));
          // Never read through a link, as it is never written through one: said as such.
          if (access == Access::Read && S_ISLNK(status.st_mode))
              if (auto why = storeRefusal(path))
                  throw StoreError(StoreError::Kind::Refused, *why);
          // Another account reads the store through the owner's log files; it never makes them,
          // for files of its own there would stop the owner's next record.
          struct stat log
          {};
          if (access == Access::Read && status.st_uid != ::geteuid() &&
              (::lstat((path + "-wal").c_str(), &log) != 0 ||
               ::lstat((path + "-shm").c_str(), &log) != 0))
              throw StoreError(StoreError::Kind::Failed,
                               "it is another account's, and its log files (-wal, -shm) are not "
                               "there yet: the owner's next recorded run makes them; until "
                               "then the owner can hand over a copy (converter-results backup)");
          return Database(path, access == Access::Record ? Database::Mode::Create
                                : access == Access::Read ? Database::Mode::ReadOnly
                                                         : Database::Mode::ReadWrite);
      }())
{
    m_db.execute("PRAGMA busy_timeout = " + std::to_string(busyTimeoutMs));
    if (access != Access::Read) {
        // The log files stay when the store is closed, readable as the store is, so that
        // another account can read it without writing anything.
        int keep = 1;
        sqlite3_file_control(m_db.handle(), "main", SQLITE_FCNTL_PERSIST_WAL, &keep);
    }
    whenFree([&] { prepareSchema(access); });
}

void ResultStore::prepareSchema(Access access)
{
    std::int64_t version = 0;
    std::string why;
    {
        Transaction snapshot(m_db, false); // its three facts read at one moment
        why = stateOf(m_db, version);
        snapshot.commit();
    }
    if (!why.empty())
        throw StoreError(StoreError::Kind::Failed, why);
    if (version > schemaVersion)
        throw StoreError(StoreError::Kind::Failed,
                         "its schema is version " + std::to_string(version) +
                             ", newer than the version " + std::to_string(schemaVersion) +
                             " this program knows; it is left as it is");
    if (access == Access::Read) {
        if (version < schemaVersion)
            throw StoreError(version == 0 ? StoreError::Kind::Empty : StoreError::Kind::Failed,
                             version == 0 ? "no run has been recorded in it"
                                          : "its schema is older than this program's; recording "
                                            "a run brings it up to date");
        return;
    }
    m_db.execute("PRAGMA journal_mode = WAL");
    m_db.execute("PRAGMA foreign_keys = ON");
    if (version == schemaVersion)
        return;
    Transaction transaction(m_db);
    // Another check may have brought it up to date while this one waited for the lock.
    if (stateOf(m_db, version).empty() && version < schemaVersion) {
        for (auto step = version; step < schemaVersion; ++step)
            m_db.execute(migrations[step]);
        m_db.execute("PRAGMA application_id = " + std::to_string(applicationId));
        m_db.execute("PRAGMA user_version = " + std::to_string(schemaVersion));
    }
    transaction.commit();
    checkpoint(); // a large store's migration is folded into its file at once
}

void ResultStore::checkpoint()
{
    sqlite3_busy_timeout(m_db.handle(), 0);
    sqlite3_wal_checkpoint_v2(m_db.handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(m_db.handle(), busyTimeoutMs);
}

int ResultStore::record(const StoredRun &run)
{
    return whenFree([&] { return recordOnce(run); });
}

int ResultStore::recordOnce(const StoredRun &run)
{
    Transaction transaction(m_db);
    int attempt = 0;
    bool renumbered = false;
    if (run.polled && !run.unitId.empty() && run.countsAsAttempt && !run.golden) {
        // Numbered by start: a run that started first and finished last (two checks of one unit
        // at once) is still the unit's first attempt. The attempts that started after it move
        // up by one, each first out of the way of the unique index.
        auto count = m_db.prepare("SELECT count(*), count(*) FILTER (WHERE start_utc > ?2) FROM "
                                  "runs WHERE unit_id = ?1 AND attempt IS NOT NULL");
        count.bind(1, run.unitId).bind(2, run.start).step();
        const auto later = count.integer(1);
        attempt = static_cast<int>(count.integer(0) - later) + 1;
        if (later > 0) {
            m_db.prepare("UPDATE runs SET attempt = -(attempt + 1) WHERE unit_id = ? AND "
                         "attempt >= ?")
                .bind(1, run.unitId)
                .bind(2, attempt)
                .run();
            m_db.prepare("UPDATE runs SET attempt = -attempt WHERE unit_id = ? AND attempt < 0")
                .bind(1, run.unitId)
                .run();
            renumbered = true;
        }
    }
    std::int64_t failed = 0;
    std::int64_t intermittent = 0;
    for (std::size_t i = 0; i < run.lines.size(); ++i) {
        failed |= run.lines[i].verdict == "fail" ? lineBit(i) : 0;
        intermittent |= run.lines[i].verdict == "intermittent" ? lineBit(i) : 0;
    }
    auto insert = m_db.prepare(
        "INSERT INTO runs (run_id, unit_id, attempt, port, operator, station, tool, tool_version, "
        "invocation_id, start_utc, end_utc, verdict, exit_status, polled, polls, replies, "
        "measured, unanswered, late, too_short, no_head, two_frames, flood, station_late, "
        "protocols, versions, protocol_name, protocols_sha256, expectations, message, "
        "failed_lines, intermittent_lines, slot, fixture, adapter, usb_vendor, usb_product, "
        "usb_serial, golden, counts_as_attempt, reason, failed_expectations, causes, rt_count, "
        "rt_median, rt_p95, rt_max) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
        "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    int column = 0;
    insert.bind(++column, run.runId);
    insert.bindOptional(++column, run.unitId);
    attempt ? insert.bind(++column, attempt) : insert.bindNull(++column);
    for (const std::string *text : {&run.port, &run.operatorName, &run.stationName})
        insert.bindOptional(++column, *text);
    for (const std::string *text : {&run.toolName, &run.toolVersion})
        insert.bind(++column, *text);
    insert.bindOptional(++column, run.invocationId);
    for (const std::string *text : {&run.start, &run.end, &run.verdict})
        insert.bind(++column, *text);
    for (const int number : {run.exitStatus, int(run.polled), run.polls, run.replies, run.measured})
        insert.bind(++column, number);
    for (const int count : run.missed)
        insert.bind(++column, count);
    for (const std::string *text : {&run.protocols, &run.versions, &run.protocolName,
                                    &run.protocolsSha256, &run.expectations, &run.message})
        insert.bindOptional(++column, *text);
    insert.bind(++column, failed);
    insert.bind(++column, intermittent);
    for (const std::string *text : {&run.slot, &run.fixture, &run.adapter.byId, &run.adapter.vendor,
                                    &run.adapter.product, &run.adapter.serial})
        insert.bindOptional(++column, *text);
    insert.bind(++column, int(run.golden));
    insert.bind(++column, int(attempt != 0));
    insert.bindOptional(++column, run.reason);
    insert.bind(++column, run.failedExpectations);
    insert.bind(++column, run.causes);
    insert.bind(++column, run.roundTrip.count);
    for (const double figure : {run.roundTrip.median, run.roundTrip.p95, run.roundTrip.max})
        run.roundTrip.count ? insert.bindReal(++column, figure) : insert.bindNull(++column);
    insert.run();
    const std::int64_t id = sqlite3_last_insert_rowid(m_db.handle());

    // Each unit's attempts at a glance, for yield: its first, how many, how many passed, its
    // latest.
    if (renumbered) {
        // Its first attempt is another run now: the unit's summary is made anew.
        m_db.prepare("DELETE FROM units WHERE unit_id = ?").bind(1, run.unitId).run();
        m_db.prepare(
                "INSERT INTO units SELECT first.unit_id, first.start_utc, first.station, "
                "first.operator, first.verdict, count(*), sum(attempt.verdict = 'pass'), (SELECT "
                "latest.verdict FROM runs latest WHERE latest.unit_id = first.unit_id AND "
                "latest.attempt IS NOT NULL ORDER BY latest.attempt DESC LIMIT 1), "
                "max(attempt.start_utc) FROM runs first JOIN runs attempt ON attempt.unit_id = "
                "first.unit_id WHERE first.unit_id = ? AND first.attempt = 1 AND attempt.attempt "
                "IS NOT NULL GROUP BY first.id")
            .bind(1, run.unitId)
            .run();
    } else if (attempt) {
        auto unit = m_db.prepare(
            "INSERT INTO units VALUES (?1, ?2, ?3, ?4, ?5, 1, ?6, ?5, ?2) ON CONFLICT (unit_id) DO "
            "UPDATE SET attempts = attempts + 1, passed_attempts = passed_attempts + ?6, "
            "last_verdict = ?5, max_start_utc = max(max_start_utc, ?2)");
        unit.bind(1, run.unitId).bind(2, run.start);
        unit.bindOptional(3, run.stationName).bindOptional(4, run.operatorName);
        unit.bind(5, run.verdict).bind(6, std::int64_t{run.verdict == "pass"}).run();
    }
    auto name = m_db.prepare("INSERT OR IGNORE INTO line_names (bit, line, code) VALUES (?, ?, ?)");
    auto line = m_db.prepare("INSERT INTO line_results VALUES (?, ?, ?, ?, ?, ?, ?)");
    for (std::size_t i = 0; i < run.lines.size(); ++i) {
        const LineResult &result = run.lines[i];
        const auto bit = static_cast<std::int64_t>(i);
        const std::string code = lineCode(result.line);
        name.bind(1, bit).bind(2, result.line).bind(3, code).run();
        line.bind(1, id).bind(2, bit).bind(3, result.line).bind(4, result.ok);
        line.bind(5, result.error).bind(6, result.verdict).bind(7, code).run();
    }
    auto poll = m_db.prepare("INSERT INTO polls VALUES (?, ?, ?, ?, ?)");
    for (const PollEvidence &evidence : run.pollLog) {
        poll.bind(1, id).bind(2, evidence.poll).bind(3, evidence.outcome);
        evidence.bytes.empty() ? poll.bindNull(4) : poll.bindBlob(4, evidence.bytes);
        evidence.roundTripMs ? poll.bindReal(5, *evidence.roundTripMs) : poll.bindNull(5);
        poll.run();
    }
    transaction.commit();
    return attempt;
}

} // namespace store
