// Answers a line engineer's questions from the results store: a unit's history, the runs of a
// period, yield, which line test fails most; exports the runs and pushes them to the plant.

#include "fixturelife.h"
#include "identity.h"
#include "plantpush.h"
#include "plantschema.h"
#include "resultsoptions.h"
#include "resultstables.h"
#include "slotstables.h"
#include "storeruns.h"
#include "terminaltext.h"
#include "timingtables.h"
#include "uuid.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pwd.h>
#include <unistd.h>

namespace {

void say(const std::string &message)
{
    std::fprintf(stderr, "converter-results: %s\n", message.c_str());
}

bool print(const std::string &text)
{
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

bool answer(const results::Options &options, store::ResultStore &results)
{
    using results::Command;
    const bool json = options.format == results::Format::Json;
    switch (options.command) {
    case Command::History: {
        const auto runs = store::history(results, options.unitId);
        return print(json ? results::runsJson(runs) : results::runsTable(runs, false));
    }
    case Command::Runs: {
        const auto runs = store::runs(results, options.filter);
        return print(json ? results::runsJson(runs) : results::runsTable(runs, true));
    }
    case Command::Yield: {
        const auto rows =
            store::yield(results, options.filter.window, options.by, options.calendar);
        return print(json ? results::yieldJson(rows, options.by)
                          : results::yieldTable(rows, options.by));
    }
    case Command::Pareto: {
        const auto rows =
            store::pareto(results, options.filter.window, options.by, options.calendar);
        return print(json ? results::paretoJson(rows, options.by)
                          : results::paretoTable(rows, options.by));
    }
    case Command::Export: {
        const bool csv = options.format == results::Format::Csv;
        bool written = !csv || print(results::csvHeader());
        store::forEachRun(results, options.filter.window, [&](const auto &run, const auto &lines) {
            written = written &&
                      print(csv ? results::csvRows(run, lines) : results::jsonLine(run, lines));
        });
        return written;
    }
    case Command::Slots: {
        const auto slots = attribution::attributeSinceMaintenance(
            results, options.filter.window, options.filter.station, {},
            options.by == store::GroupBy::Fixture   ? attribution::Part::Fixture
            : options.by == store::GroupBy::Adapter ? attribution::Part::Adapter
                                                    : attribution::Part::Slot);
        auto names = store::lineNames(results);
        names.resize(attribution::roundTripLine);
        names.emplace_back(attribution::roundTripName);
        return print(json ? results::slotsJson(slots, names) : results::slotsTable(slots, names));
    }
    case Command::Timing: {
        const bool bySlot = options.by == store::GroupBy::Slot;
        const auto charts = results::timingCharts(
            results,
            spc::timingSeries(results, options.filter.window, options.filter.station,
                              bySlot ? spc::TimingBy::Slot : spc::TimingBy::Port),
            options.maxRoundTripMs, json);
        return print(json ? results::timingJson(charts, bySlot)
                          : results::timingTable(charts, bySlot));
    }
    case Command::Fixtures: {
        const auto lives = store::fixtureLife(results, options.filter.station);
        return print(json ? results::fixturesJson(lives) : results::fixturesTable(lives));
    }
    case Command::Backup:
        // A snapshot of every committed run, its log folded in, read like any other answer.
        results.db().prepare("VACUUM INTO ?").bind(1, options.copy).run();
        say("wrote " + cli::printable(options.copy));
        return true;
    case Command::Push:
    case Command::Maintenance:
    case Command::PlantSchema:
    case Command::None:
        break;
    }
    return true;
}

// push --held: each run held back, with the plant's reason.
int listHeld(const results::Options &options, store::ResultStore &results)
{
    std::string out = options.format == results::Format::Json ? "[" : "";
    for (const results::HeldRun &run : results::heldRuns(results)) {
        if (options.format == results::Format::Json)
            out += std::string(out.size() > 1 ? "," : "") +
                   "{\"runId\":" + cli::jsonString(run.runId) +
                   ",\"unitId\":" + (run.unitId.empty() ? "null" : cli::jsonString(run.unitId)) +
                   ",\"start\":" + cli::jsonString(run.start) +
                   ",\"reason\":" + cli::jsonString(run.reason) + "}";
        else
            out += run.runId + "  " + cli::printable(run.unitId.empty() ? "-" : run.unitId) + "  " +
                   run.start + "  " + cli::printable(run.reason, 400) + "\n";
    }
    if (options.format == results::Format::Json)
        out += "]\n";
    if (!print(out) || std::fflush(stdout) != 0) {
        say(std::string("standard output: ") + std::strerror(errno));
        return results::StoreUnusable;
    }
    return results::Done;
}

// maintenance SLOT|FIXTURE --note TEXT: the running count starts again, on record.
int recordMaintenance(const results::Options &options, store::ResultStore &results)
{
    std::string station = options.filter.station;
    if (char name[256] = {}; station.empty() && ::gethostname(name, sizeof name - 1) == 0)
        station = cli::printable(name, sizeof name);
    std::string who = options.byWhom;
    if (const passwd *account = ::getpwuid(::geteuid()); who.empty() && account)
        who = cli::printable(account->pw_name, 64);
    const std::string kind = store::recordMaintenance(
        results, station, options.target, who, options.note,
        cli::utcTimestamp(std::chrono::system_clock::now()), cli::randomUuid());
    if (kind.empty()) {
        say("no slot or fixture " + cli::printable(options.target) + " on record at station " +
            cli::printable(station) + " (--station names another)");
        return results::BadUsage;
    }
    results.checkpoint();
    say("maintenance of " + kind + " " + cli::printable(options.target) + " at " +
        cli::printable(station) + " on record: its running count starts again");
    return results::Done;
}

} // namespace

int main(int argc, char **argv)
{
    cli::openClosedStandardDescriptors();
    results::Options options;
    try {
        options = results::parseOptions(argc, argv);
    } catch (const results::UsageError &error) {
        std::fprintf(stderr, "converter-results: %s\nTry 'converter-results --help'.\n",
                     error.what());
        return results::BadUsage;
    }
    if (options.help) {
        std::fputs(results::usageText, stdout);
        return results::Done;
    }
    if (options.version) {
        std::printf("converter-results %s\n", std::string(station::version).c_str());
        return results::Done;
    }
    if (options.command == results::Command::PlantSchema)
        return print(results::plantSchemaScript()) && std::fflush(stdout) == 0
                   ? results::Done
                   : results::StoreUnusable;
    const std::string path = options.store.empty() ? store::defaultStorePath() : options.store;
    const bool writing = options.command == results::Command::Push ||
                         options.command == results::Command::Maintenance;
    const bool pushing = options.command == results::Command::Push;
    try {
        store::ResultStore results(path, writing ? store::ResultStore::Access::Forward
                                                 : store::ResultStore::Access::Read);
        if (options.command == results::Command::Maintenance)
            return recordMaintenance(options, results);
        if (pushing && options.held)
            return listHeld(options, results);
        if (pushing) {
            const auto count = results::push(
                results, options.url,
                {options.batch, std::chrono::seconds(options.timeoutSeconds), options.retryHeld});
            results.checkpoint(); // the runs' marks in the one file
            say("pushed " + std::to_string(count.sent) + " runs" +
                (count.alreadyIn
                     ? " (" + std::to_string(count.alreadyIn) + " of them were there already)"
                     : std::string()));
            if (const auto held = results::heldRuns(results).size()) {
                say(std::to_string(held) + (held == 1 ? " run is" : " runs are") +
                    " held back: the plant's database refused their data (push --held lists "
                    "them with its reason; push --retry-held sends them again)");
                return results::RunsHeld;
            }
            return results::Done;
        }
        if (options.command == results::Command::History &&
            store::history(results, options.unitId).empty()) {
            // A mistyped id is not a unit without runs.
            std::string similar;
            for (const std::string &id : store::similarUnitIds(results, options.unitId))
                similar += (similar.empty() ? "" : ", ") + cli::printable(id);
            say("no runs of " + cli::printable(options.unitId) +
                (similar.empty()
                     ? std::string()
                     : "; ids on record that differ by one character or in case: " + similar));
            return results::NoRuns;
        }
        if (!answer(options, results) || std::fflush(stdout) != 0) {
            say(std::string("standard output: ") + std::strerror(errno));
            return results::StoreUnusable;
        }
    } catch (const store::StoreError &error) {
        say("results store " + cli::printable(path) + ": " + error.what());
        switch (error.kind) {
        case store::StoreError::Kind::Refused:
            return results::StoreRefused;
        case store::StoreError::Kind::Missing:
            return results::NoStore;
        case store::StoreError::Kind::Empty:
        case store::StoreError::Kind::Failed:
            break;
        }
        return results::StoreUnusable;
    } catch (const results::PlantError &error) {
        say(std::string(error.what()) + "; nothing is lost: the next push sends what is left");
        return results::PlantUnreachable;
    }
    return results::Done;
}
