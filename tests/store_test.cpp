// The results store through the real SQLite library: runs in, the line engineer's questions out,
// what it refuses, and what a kill in the middle of a write leaves.

#include "queries.h"
#include "resultstore.h"
#include "tempdirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A run of a unit (or none), its verdict, and the lines that failed and came and went.
store::StoredRun run(const std::string &unit, const std::string &verdict, const std::string &start,
                     const std::string &station = "bench-1", std::int64_t failed = 0,
                     std::int64_t intermittent = 0)
{
    static int number = 0;
    store::StoredRun r;
    r.runId = "run-" + std::to_string(++number);
    r.unitId = unit;
    r.port = "/dev/ttyUSB0";
    r.stationName = station;
    r.toolName = "converter-check";
    r.toolVersion = "1";
    r.start = r.end = start;
    r.verdict = verdict;
    r.polled = verdict != "interrupted" && verdict != "not opened";
    r.verdict = verdict == "not opened" ? "incomplete" : verdict;
    // Why it has no verdict: the port, the signal, or a poll unanswered.
    r.exitStatus = verdict == "not opened" ? 3 : 0;
    r.causes = verdict == "not opened" ? 1 << 7 : verdict == "interrupted" ? 1 << 8 : 0;
    if (verdict == "incomplete") {
        r.missed[0] = 1;
        r.causes = 1;
        r.message = "INCOMPLETE: no decoded reply in 1 poll (1 poll, 0 replies, 1 missed)\n  hint";
    }
    for (int i = 0; i < 5; ++i)
        r.lines.push_back({"line " + std::to_string(i), 0, 0,
                           (failed >> i & 1)         ? "fail"
                           : (intermittent >> i & 1) ? "intermittent"
                                                     : "pass"});
    r.pollLog = {{1, "measured", {0x80, 0x01}}, {2, "unanswered", {}}};
    return r;
}

} // namespace

TEST(StoreTest, AttemptsYieldAndParetoFromHandMadeUnits)
{
    support::TempDirectory folder;
    store::ResultStore results((folder / "results.sqlite").string(),
                               store::ResultStore::Access::Record);
    const std::string day1 = "2026-12-08T10:00:00.000Z", day2 = "2026-12-09T10:00:00.000Z";
    struct Row
    {
        store::StoredRun run;
        int attempt;
    };
    const Row rows[] = {
        {run("A", "fail", day1, "bench-1", 0b10000), 1}, // fails, passes after rework
        {run("A", "not opened", day1), 0},               // not an attempt
        {run("A", "pass", day2), 2},
        {run("B", "pass", day1, "bench-2"), 1}, // first pass
        {run("C", "intermittent", day1, "bench-2", 0, 0b01000), 1},
        {run("C", "interrupted", day2), 0},
        {run("C", "incomplete", day2), 2},
        {run("D", "fail", day2, "bench-1", 0b11000), 1}, // first tested on day 2
        {run("", "pass", day1), 0},                      // no unit id: a run only
        {run("", "not opened", day1), 0},                // no unit id, not polled: no run at all
        {run("E", "incomplete", day1), 1},               // incomplete first, failing after
        {run("E", "fail", day2, "bench-1", 0b10000), 2},
    };
    for (const Row &row : rows)
        EXPECT_EQ(results.record(row.run), row.attempt) << row.run.unitId << " " << row.run.verdict;

    const auto history = store::history(results, "A");
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[0].attempt, 1);
    EXPECT_EQ(history[0].failedLines, std::vector<std::string>{"line 4"});
    EXPECT_EQ(history[1].attempt, 0);
    EXPECT_EQ(history[2].verdict, "pass");

    struct Figures
    {
        const char *name;
        store::Window window;
        store::GroupBy by;
        std::vector<std::vector<std::int64_t>> rows; // units, runs, first, last, passed runs
    };
    const Figures figures[] = {
        // A: fail, pass; B: pass; C: intermittent, incomplete; D: fail; E: incomplete, fail; one
        // run without a unit.
        {"all", {}, store::GroupBy::None, {{5, 9, 1, 2, 3}}},
        // From the very moment day 1's units were first tested.
        {"from day 1's first run", {day1, ""}, store::GroupBy::None, {{5, 9, 1, 2, 3}}},
        // Day 1's units A, B, C, E up to its end: A's pass on day 2 is not yet there.
        {"day 1", {"2026-12-08", "2026-12-09"}, store::GroupBy::None, {{4, 5, 1, 1, 2}}},
        // Only D was first tested on day 2; A's and C's retests there are theirs.
        {"from day 2", {"2026-12-09", ""}, store::GroupBy::None, {{1, 1, 0, 0, 0}}},
        {"by day", {}, store::GroupBy::Day, {{4, 8, 1, 2, 3}, {1, 1, 0, 0, 0}}},
        // By each unit's first station; the run without a unit id by its own.
        {"by station", {}, store::GroupBy::Station, {{3, 6, 0, 1, 2}, {2, 3, 1, 1, 1}}},
    };
    for (const Figures &f : figures) {
        SCOPED_TRACE(f.name);
        const auto yield = store::yield(results, f.window, f.by);
        ASSERT_EQ(yield.size(), f.rows.size());
        for (std::size_t i = 0; i < yield.size(); ++i)
            EXPECT_EQ(
                (std::vector<std::int64_t>{yield[i].units, yield[i].runs, yield[i].firstPassed,
                                           yield[i].lastPassed, yield[i].passedRuns}),
                f.rows[i])
                << yield[i].group;
    }
    EXPECT_DOUBLE_EQ(*store::yield(results, {}, store::GroupBy::None)[0].retestRate(), 0.6);

    // Runs that are no attempt of their unit: a golden unit's failure verifies its slot, and one
    // in a suspect slot is the slot's; neither is in Pareto.
    store::StoredRun golden = run("F", "fail", day2, "bench-1", 0b100), suspect = golden;
    golden.golden = true;
    suspect.unitId = "G";
    suspect.runId += "-G";
    suspect.countsAsAttempt = false;
    EXPECT_EQ(results.record(golden) * 10 + results.record(suspect), 0);
    EXPECT_EQ(results.record(run("G", "pass", day2)), 1);
    // D also missed its protocol; the causes of runs without a verdict under their own kind.
    store::StoredRun wrongFirmware = run("H", "fail", day2);
    wrongFirmware.failedExpectations = 1;
    EXPECT_EQ(results.record(wrongFirmware), 1);
    using Kind = store::ParetoKind;
    const auto pareto = store::pareto(results, {});
    const std::vector<std::tuple<Kind, std::string, std::int64_t, std::int64_t>> expected = {
        {Kind::Line, "line 4", 3, 0},           {Kind::Line, "line 3", 1, 1},
        {Kind::Line, "line 0", 0, 0},           {Kind::Line, "line 1", 0, 0},
        {Kind::Line, "line 2", 0, 0},           {Kind::Expectation, "protocol", 1, 0},
        {Kind::Incomplete, "unanswered", 2, 0}, // C and E
        {Kind::Incomplete, "port", 2, 0},       // A and the run without a unit id
        {Kind::Incomplete, "interrupted", 1, 0}};
    ASSERT_EQ(pareto.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(
            std::tuple(pareto[i].kind, pareto[i].line, pareto[i].failed, pareto[i].intermittent),
            expected[i]);
    EXPECT_EQ(pareto[0].code, "line_4");
}

TEST(StoreTest, AStoreItCannotUseIsLeftAsItIs)
{
    struct Case
    {
        const char *name;
        std::function<void(const std::string &)> plant;
        store::ResultStore::Access access;
        store::StoreError::Kind kind;
        std::string reason;
    };
    const Case cases[] = {
        {"not a database", [](const std::string &path) { std::ofstream(path) << "not yours\n"; },
         store::ResultStore::Access::Record, store::StoreError::Kind::Failed, "not a database"},
        {"a newer schema",
         [](const std::string &path) {
             {
                 store::ResultStore(path, store::ResultStore::Access::Record);
             }
             store::Database(path, store::Database::Mode::ReadWrite)
                 .execute("PRAGMA user_version = 99");
         },
         store::ResultStore::Access::Record, store::StoreError::Kind::Failed, "newer"},
        {"another program's database",
         [](const std::string &path) {
             store::Database(path, store::Database::Mode::Create).execute("CREATE TABLE t (x)");
         },
         store::ResultStore::Access::Record, store::StoreError::Kind::Failed,
         "not a results store"},
        {"a link", [](const std::string &path) { ::symlink("/dev/null", path.c_str()); },
         store::ResultStore::Access::Forward, store::StoreError::Kind::Refused, "symbolic link"},
        {"nothing to read", [](const std::string &) {}, store::ResultStore::Access::Read,
         store::StoreError::Kind::Missing, "No such file"},
        {"no run recorded yet",
         [](const std::string &path) { store::Database(path, store::Database::Mode::Create); },
         store::ResultStore::Access::Read, store::StoreError::Kind::Empty, "no run has been"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        support::TempDirectory folder;
        const std::string path = (folder / "results.sqlite").string();
        c.plant(path);
        std::ifstream before(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(before), {}};
        try {
            store::ResultStore results(path, c.access);
            results.record(run("A", "pass", "2026-12-09T10:00:00.000Z"));
            ADD_FAILURE() << "used";
        } catch (const store::StoreError &error) {
            EXPECT_EQ(error.kind, c.kind);
            EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
        }
        std::ifstream after(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(after), {}), bytes);
    }
}

// A store of an earlier schema: read refused until a run is recorded, which brings it up to date
// with the count it did not have and one unit for ids that differ only in case.
TEST(StoreTest, AnOlderStoreIsBroughtUpToDate)
{
    support::TempDirectory folder;
    const std::string path = (folder / "results.sqlite").string();
    {
        store::ResultStore older(path, store::ResultStore::Access::Record);
        older.record(run("A", "pass", "2026-12-09T10:00:00.000Z"));
        older.record(run("SN-7", "pass", "2026-12-09T09:30:00.000Z"));
        store::StoredRun failed = run("sn-7", "fail", "2026-12-09T09:00:00.000Z");
        failed.message = "FAIL: line 4 (1 poll, 1 reply, 0 missed)\n  hint";
        older.record(failed);
    }
    store::Database(path, store::Database::Mode::ReadWrite)
        .execute(
            "DROP INDEX run_problems; DROP INDEX run_timing; DROP INDEX slow_links; DROP INDEX "
            "slot_runs; DROP INDEX unit_slots; DROP INDEX not_attempts; DROP TABLE maintenance; "
            "DROP TABLE slot_limits; DROP TABLE slot_blocks; ALTER TABLE runs DROP COLUMN "
            "station_late; ALTER TABLE runs DROP COLUMN slot; ALTER TABLE runs DROP COLUMN held; "
            "ALTER TABLE runs DROP COLUMN fixture; ALTER TABLE runs DROP COLUMN adapter; ALTER "
            "TABLE runs DROP COLUMN usb_vendor; ALTER TABLE runs DROP COLUMN usb_product; ALTER "
            "TABLE runs DROP COLUMN usb_serial; ALTER TABLE runs DROP COLUMN golden; ALTER TABLE "
            "runs DROP COLUMN counts_as_attempt; ALTER TABLE runs DROP COLUMN reason; ALTER TABLE "
            "runs DROP COLUMN failed_expectations; ALTER TABLE runs DROP COLUMN causes; ALTER "
            "TABLE runs DROP COLUMN rt_count; ALTER TABLE runs DROP COLUMN rt_median; ALTER TABLE "
            "runs DROP COLUMN rt_p95; ALTER TABLE runs DROP COLUMN rt_max; ALTER TABLE polls DROP "
            "COLUMN round_trip_ms; ALTER TABLE line_names DROP COLUMN code; ALTER TABLE "
            "line_results DROP COLUMN code; PRAGMA user_version = 1");
    EXPECT_THROW(store::ResultStore(path, store::ResultStore::Access::Read), store::StoreError);
    store::StoredRun late = run("B", "incomplete", "2026-12-09T11:00:00.000Z");
    late.missed.back() = 2;
    late.slot = "C";
    store::ResultStore(path, store::ResultStore::Access::Record).record(late);
    store::ResultStore results(path, store::ResultStore::Access::Read);
    auto counts = results.db().prepare(
        "SELECT group_concat(station_late), (SELECT group_concat(unit_id || ' ' || attempt || ' ' "
        "|| verdict) FROM runs WHERE unit_id LIKE 'sn-7'), (SELECT attempts || ' ' || "
        "first_verdict || ' ' || last_verdict FROM units WHERE unit_id = 'SN-7'), "
        "group_concat(slot), group_concat(counts_as_attempt), group_concat(coalesce(reason, '-') "
        "|| ' ' || causes, '|'), (SELECT group_concat(DISTINCT code) FROM line_results) FROM runs");
    ASSERT_TRUE(counts.step());
    EXPECT_EQ(counts.text(0), "0,0,0,2");
    EXPECT_EQ(counts.text(1), "SN-7 2 pass,SN-7 1 fail");
    EXPECT_EQ(counts.text(2), "2 fail pass");
    EXPECT_EQ(counts.text(3), "C");
    EXPECT_EQ(counts.text(4), "1,1,1,1");
    // Runs from before keep their message's first line as their reason.
    EXPECT_EQ(counts.text(5), "- 0|- 0|line 4 (1 poll, 1 reply, 0 missed) 0|- 1");
    EXPECT_EQ(counts.text(6), "line_0,line_1,line_2,line_3,line_4");
    // Recorded last but started first: the unit's first attempt, the others after it.
    const auto one = [&](const char *sql) {
        store::ResultStore now(path, store::ResultStore::Access::Read);
        auto query = now.db().prepare(sql);
        return query.step() ? query.text(0) : std::string();
    };
    EXPECT_EQ(store::ResultStore(path, store::ResultStore::Access::Record)
                  .record(run("SN-7", "pass", "2026-12-09T08:00:00.000Z")),
              1);
    EXPECT_EQ(one("SELECT group_concat(attempt || ' ' || verdict) FROM (SELECT * FROM runs WHERE "
                  "unit_id = 'SN-7' ORDER BY start_utc)"),
              "1 pass,2 fail,3 pass");
    EXPECT_EQ(one("SELECT attempts || ' ' || first_verdict || ' ' || last_verdict FROM units "
                  "WHERE unit_id = 'SN-7'"),
              "3 pass pass");
}

// Killed at any moment, a recording process leaves a store that opens, is whole, and holds every
// run it was told was recorded.
TEST(StoreTest, KilledMidWriteLosesNothingRecorded)
{
    support::TempDirectory folder;
    const std::string path = (folder / "results.sqlite").string();
    {
        store::ResultStore(path, store::ResultStore::Access::Record);
    }
    for (const int delayMs : {3, 17, 41, 89, 150}) {
        SCOPED_TRACE(delayMs);
        int told[2];
        ASSERT_EQ(::pipe(told), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(told[0]);
            store::ResultStore results(path, store::ResultStore::Access::Record);
            for (;;) {
                store::StoredRun r = run("K", "pass", "2026-12-09T10:00:00.000Z");
                r.runId += "-" + std::to_string(::getpid());
                for (int poll = 3; poll < 500; ++poll)
                    r.pollLog.push_back({poll, "measured", std::vector<std::uint8_t>(27, 0x80)});
                results.record(r);
                if (::write(told[1], "r", 1) != 1)
                    ::_exit(1);
            }
        }
        ::close(told[1]);
        ::usleep(delayMs * 1000);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        int recorded = 0;
        for (char c; ::read(told[0], &c, 1) == 1;)
            ++recorded;
        ::close(told[0]);

        store::Database db(path, store::Database::Mode::ReadOnly);
        auto check = db.prepare("PRAGMA integrity_check");
        ASSERT_TRUE(check.step());
        EXPECT_EQ(check.text(0), "ok");
        const auto stored = db.integer("SELECT count(*) FROM runs WHERE run_id LIKE '%-" +
                                       std::to_string(child) + "'");
        EXPECT_GE(stored, recorded);
        EXPECT_LE(stored, recorded + 1); // the one whose commit it could not tell
        EXPECT_EQ(db.integer("SELECT count(*) FROM polls p JOIN runs r ON r.id = p.run WHERE "
                             "r.run_id LIKE '%-" +
                             std::to_string(child) + "'"),
                  stored * 499);
    }
}

// Checks that finish at the same moment all record, into a store none of them found there.
TEST(StoreTest, ManyRecordIntoANewStoreAtOnce)
{
    support::TempDirectory folder;
    // The lock SQLite does not wait for is met only now and then: twenty new stores, 32 first
    // writers each.
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const std::string path =
            (folder / ("results" + std::to_string(round) + ".sqlite")).string();
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        std::vector<pid_t> children;
        for (int i = 0; i < 32; ++i) {
            if (const pid_t child = ::fork(); child == 0) {
                ::close(gate[1]);
                char go;
                if (::read(gate[0], &go, 1) != 0)
                    ::_exit(2);
                store::StoredRun r =
                    run("U" + std::to_string(i), "pass", "2026-12-09T10:00:00.000Z");
                r.runId += "-" + std::to_string(i);
                try {
                    store::ResultStore(path, store::ResultStore::Access::Record).record(r);
                } catch (const store::StoreError &error) {
                    std::fprintf(stderr, "%s\n", error.what());
                    ::_exit(1);
                }
                ::_exit(0);
            } else {
                children.push_back(child);
            }
        }
        ::close(gate[0]);
        ::close(gate[1]); // all at once
        for (const pid_t child : children) {
            int status = -1;
            ::waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        store::ResultStore results(path, store::ResultStore::Access::Read);
        EXPECT_EQ(results.db().integer("SELECT count(*) FROM runs"), 32);
    }
}
