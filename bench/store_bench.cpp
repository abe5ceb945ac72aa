// The results store's speed and size: a run recorded as a check records it, 32 checks finishing
// at once, the size of a run, and yield, Pareto and the link's timing over a million stored runs.
//   store_bench FOLDER [RUNS] [UNITS] [DAYS]      (default 1000000 runs of 400000 units, 250 days)
//   store_bench --fill STORE RUNS                 a store of RUNS 10-poll runs, for the push bench
//   store_bench --read STORE DAYS                 the queries alone, over a store filled before

#include "controlchart.h"
#include "queries.h"
#include "resultstore.h"
#include "standing.h"
#include "storeruns.h"
#include "timingseries.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string timeOf(long second)
{
    char text[32];
    const std::time_t at = 1796083200 + second; // 2026-12-01
    std::tm utc{};
    ::gmtime_r(&at, &utc);
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000Z", &utc);
    return text;
}

// A check's run of `polls` polls; `bytes`: each poll's 27-byte reply kept.
store::StoredRun checkRun(long number, const std::string &unit, long second, bool bytes,
                          int polls = 10)
{
    static const char *verdicts[] = {"pass", "pass",         "pass", "fail",
                                     "pass", "intermittent", "pass", "incomplete"};
    store::StoredRun run;
    run.runId = "00000000-0000-4000-8000-" + std::to_string(100000000000 + number);
    run.unitId = unit;
    run.port = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    run.operatorName = "operator " + std::to_string(number % 7);
    run.stationName = "bench-" + std::to_string(number % 4);
    run.slot = std::string(1, static_cast<char>('A' + (number / 4) % 4));
    run.toolName = "converter-check";
    run.toolVersion = "0.1.0";
    run.invocationId = run.runId;
    run.start = timeOf(second);
    run.end = timeOf(second + 5);
    run.verdict = verdicts[(number * 7919) % 8];
    run.polled = true;
    run.polls = run.replies = run.measured = polls;
    run.protocols = run.versions = "5";
    run.protocolName = "Five";
    run.protocolsSha256 = std::string(64, 'a');
    run.expectations = R"([{"name":"protocol","expected":5,"seen":[5],"met":true}])";
    run.message = "PASS: 10 polls, 10 replies, 0 missed; round trip 13.8 / 13.9 / 14.1 ms";
    const char *lines[] = {"DTR - CD RTU", "RTS - CTS RTU", "CTS - RTS CPU", "CD - DTR CPU",
                           "TX - RX RTU"};
    for (int i = 0; i < 5; ++i) {
        const bool failed = run.verdict == "fail" && i == number % 5;
        const bool flapping = run.verdict == "intermittent" && i == (number / 5) % 5;
        run.lines.push_back({lines[i], failed ? 0 : polls - flapping, failed ? polls : flapping,
                             failed     ? "fail"
                             : flapping ? "intermittent"
                                        : "pass"});
    }
    // Each poll's round trip, and the run's figures of them, as a check keeps them.
    for (int poll = 1; poll <= polls; ++poll)
        run.pollLog.push_back(
            {poll, "measured",
             bytes ? std::vector<std::uint8_t>(27, 0x81) : std::vector<std::uint8_t>{},
             13.8 + 0.05 * ((number + poll) % 7)});
    run.roundTrip = {polls, 13.9 + 0.01 * (number % 13), 14.1, 14.3};
    return run;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timed(const std::function<void()> &work, int times = 5)
{
    std::vector<double> ms;
    for (int i = 0; i < times; ++i) {
        const auto start = Clock::now();
        work();
        ms.push_back(msSince(start));
    }
    return median(ms);
}

long fileBytes(const std::string &path)
{
    store::ResultStore(path, store::ResultStore::Access::Record)
        .db()
        .execute("PRAGMA wal_checkpoint(TRUNCATE)");
    return static_cast<long>(std::filesystem::file_size(path));
}

// `runs` runs of `units` units over `days` days, a unit's attempts on its first day, in one
// transaction.
void fill(const std::string &path, long runs, long units, long days, bool bytes)
{
    store::ResultStore results(path, store::ResultStore::Access::Record);
    store::Transaction all(results.db());
    const long perDay = std::max(1L, units / days);
    for (long i = 0; i < runs; ++i) {
        const long unit = i % units;
        const long second =
            (unit / perDay) * 86400 + 28800 + (unit % perDay) * 7 + (i / units) * 60;
        results.record(checkRun(i, "SN-" + std::to_string(unit), second, bytes));
    }
    all.commit();
}

// Yield, Pareto, timing and the slots' weighing over a filled store.
void readBack(const std::string &big, long days)
{
    store::ResultStore results(big, store::ResultStore::Access::Read);
    const store::Window all{}, oneDay{timeOf(days / 2 * 86400), timeOf((days / 2 + 1) * 86400)};
    for (const auto &[name, window] :
         {std::pair{"whole store", all}, std::pair{"one day", oneDay}}) {
        std::size_t groups = 0;
        std::int64_t seen = 0;
        const double yieldMs = timed([&] {
            const auto rows = store::yield(results, window, store::GroupBy::None);
            seen = rows.empty() ? 0 : rows.front().units;
        });
        const double byDayMs =
            timed([&] { groups = store::yield(results, window, store::GroupBy::Day).size(); });
        const double paretoMs = timed([&] { store::pareto(results, window); });
        std::printf("%s (%lld units): yield %.1f ms, yield --by day %.1f ms (%zu days), pareto "
                    "%.1f ms (median of 5; budget %s)\n",
                    name, static_cast<long long>(seen), yieldMs, byDayMs, groups, paretoMs,
                    window.since.empty() ? "1000 ms" : "100 ms");
    }
    std::size_t points = 0, fired = 0;
    const double timingMs = timed([&] {
        auto series = spc::timingSeries(results, all, "", spc::TimingBy::Port);
        points = fired = 0;
        for (const spc::TimingSeries &one : series) {
            std::vector<double> values;
            for (const spc::TimingPoint &point : one.points)
                values.push_back(point.medianMs);
            points += values.size();
            if (const auto chart = spc::imrChart(values, 20.0))
                fired += chart->hits.size();
        }
    });
    std::printf("timing over the whole store: %zu runs charted, %zu rules fired, %.1f ms (median "
                "of 5; budget 1000 ms)\n",
                points, fired, timingMs);
    std::size_t slotRows = 0, read = 0;
    const double countMs = timed([&] { attribution::slotCounts(results, all, ""); });
    const double readMs = timed([&] { read = attribution::storedRuns(results, all, "").size(); });
    const double totalMs =
        timed([&] { slotRows = attribution::attributeStored(results, all, "").size(); });
    std::printf("slots over the whole store (%zu slots): %.1f ms: %.1f to count each slot's runs, "
                "%.1f to read the %zu runs of units that failed somewhere (median of 5; budget "
                "1000 ms)\n",
                slotRows, totalMs, countMs, readMs, read);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--slots") { // the attribution over a filled store
        store::ResultStore results(argv[2], store::ResultStore::Access::Read);
        std::size_t slots = 0;
        const double ms =
            timed([&] { slots = attribution::attributeStored(results, {}, "").size(); });
        std::printf("slots over the store (%zu slots): %.1f ms (median of 5; budget 1000 ms)\n",
                    slots, ms);
        // converter-line's reading of one station's four slots after a run (off the window's
        // thread), and a scan's look at one slot (its counter and block) before it refuses.
        const std::vector<attribution::LineSlot> line = {
            {"A", ""}, {"B", ""}, {"C", ""}, {"D", ""}};
        const double standingMs =
            timed([&] { attribution::readStanding(results, "bench-3", line, {}); });
        const double scanMs = timed([&] {
            store::slotLife(results, "bench-3", "C", "");
            store::slotBlocks(results, "bench-3");
        });
        std::printf("converter-line: a station's standing read after a run %.1f ms; a scan's look "
                    "at its slot %.2f ms (median of 5; budget 10 ms)\n",
                    standingMs, scanMs);
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--read") { // a store filled before, of DAYS days
        readBack(argv[2], std::atol(argv[3]));
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--fill") {
        fill(argv[2], std::atol(argv[3]), std::atol(argv[3]) * 2 / 5, 30, true);
        return 0;
    }
    if (argc < 2) {
        std::fputs("usage: store_bench FOLDER [RUNS] [UNITS] [DAYS]\n", stderr);
        return 64;
    }
    const std::string folder = argv[1];
    const long runs = argc > 2 ? std::atol(argv[2]) : 1000000;
    const long units = argc > 3 ? std::atol(argv[3]) : 400000;
    const long days = argc > 4 ? std::atol(argv[4]) : 250;

    // As converter-check records: open the store, record one 10-poll run with its bytes, close.
    const std::string single = folder + "/single.sqlite";
    std::vector<double> whole, recordOnly;
    for (int i = 0; i < 200; ++i) {
        const auto start = Clock::now();
        store::ResultStore results(single, store::ResultStore::Access::Record);
        const auto opened = Clock::now();
        results.record(checkRun(i, "SN-" + std::to_string(i % 50), i, true));
        recordOnly.push_back(msSince(opened));
        whole.push_back(msSince(start));
    }
    std::printf("one 10-poll run recorded: median %.2f ms with opening the store, %.2f ms "
                "recording alone (slowest %.2f ms; budget 5 ms)\n",
                median(whole), median(recordOnly), *std::max_element(whole.begin(), whole.end()));

    // 32 checks finishing at the same moment.
    const std::string shared = folder + "/shared.sqlite";
    int gate[2];
    if (::pipe(gate) != 0)
        return 1;
    std::vector<pid_t> children;
    for (int i = 0; i < 32; ++i) {
        if (const pid_t child = ::fork(); child == 0) {
            ::close(gate[1]);
            char go;
            if (::read(gate[0], &go, 1) != 0)
                ::_exit(2);
            store::ResultStore results(shared, store::ResultStore::Access::Record);
            results.record(checkRun(i, "SN-" + std::to_string(i), i, true));
            ::_exit(0);
        } else {
            children.push_back(child);
        }
    }
    ::close(gate[0]);
    const auto released = Clock::now();
    ::close(gate[1]); // all at once
    int failed = 0;
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const double allIn = msSince(released);
    store::ResultStore sharedStore(shared, store::ResultStore::Access::Read);
    std::printf("32 checks at once: %lld of 32 runs recorded, %d failed, all in %.1f ms\n",
                static_cast<long long>(sharedStore.db().integer("SELECT count(*) FROM runs")),
                failed, allIn);

    // Size of a 10-poll run, without and with its raw bytes.
    for (const bool bytes : {false, true}) {
        const std::string path = folder + (bytes ? "/bytes.sqlite" : "/nobytes.sqlite");
        fill(path, 1000, 400, 1, bytes);
        std::printf("store size per 10-poll run, %s: %.0f bytes (budget 4096 without)\n",
                    bytes ? "with its raw bytes" : "without raw bytes", fileBytes(path) / 1000.0);
    }

    const std::string big = folder + "/big.sqlite";
    auto start = Clock::now();
    fill(big, runs, units, days, false);
    std::printf("filled %ld runs of %ld units over %ld days in %.1f s, %.1f MiB\n", runs, units,
                days, msSince(start) / 1000, fileBytes(big) / 1048576.0);
    readBack(big, days);
    return 0;
}
