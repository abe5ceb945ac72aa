#pragma once

// converter-results' command line.

#include "arguments.h"
#include "queries.h"

#include <optional>
#include <string>

namespace results {

enum ExitStatus : int {
    Done = 0,
    NoRuns = 1,            // history: no run of that unit on record
    PlantUnreachable = 69, // the plant's database is away or refused; nothing is lost
    RunsHeld = 65,         // the plant refused some runs' data: they are held back here
    NoStore = 66,          // no store at that path: nothing recorded yet
    BadUsage = 64,
    StoreRefused = 73,  // not ours to write (push only)
    StoreUnusable = 74, // not a store, of a newer version, corrupt, or standard output failed
};

enum class Command {
    None,
    History,
    Runs,
    Yield,
    Pareto,
    Export,
    Push,
    Backup,
    Slots,
    Fixtures,
    Maintenance,
    PlantSchema,
    Timing
};
enum class Format { Table, Json, Csv, JsonLines };

struct Options
{
    Command command = Command::None;
    std::string store; // empty: the account's own
    std::string unitId;
    std::string url;
    std::string copy;   // backup's file
    std::string target; // maintenance's slot or fixture
    std::string note;   // maintenance --note
    std::string byWhom; // maintenance --operator; empty: the login name
    store::RunFilter filter;
    store::GroupBy by = store::GroupBy::None;
    store::Calendar calendar;   // days by the zone of --tz; shifts of --shifts
    std::string zone = "local"; // --tz as given: "local", "UTC" or a zone's name
    Format format = Format::Table;
    std::optional<double> maxRoundTripMs; // timing: the upper limit capability is taken against
    int batch = 1000;
    int timeoutSeconds = 30;
    bool held = false;      // push --held: list the runs held back
    bool retryHeld = false; // push --retry-held
    bool help = false;
    bool version = false;
};

using UsageError = cli::UsageError;

Options parseOptions(int argc, const char *const *argv);

// A date as the options take it, as the stored UTC text: YYYY-MM-DD (a whole day of the
// process's time zone, TZ: `until` gives the start of the next), YYYY-MM-DDTHH:MM:SSZ, "today" or
// "yesterday" (of that zone). Throws UsageError.
std::string storedTime(const std::string &option, const std::string &text, bool until);

extern const char *const usageText;

} // namespace results
