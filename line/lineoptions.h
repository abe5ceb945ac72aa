#pragma once

// converter-line's command line: the fixture's slots and the options of each unit's run.

#include "arguments.h"
#include "runoptions.h"

#include <optional>
#include <string>
#include <vector>

namespace line {

struct FixtureSlot
{
    std::string name; // "1", "2", ... when the slot was given no name
    std::string port;
};

inline constexpr std::size_t maxSlots = 8;

// What a fixture file holds: its slots, and what its keyword lines give.
struct Fixture
{
    std::vector<FixtureSlot> positions;
    std::string unitPattern;         // "pattern REGEX"
    std::string id;                  // "fixture ID"
    std::vector<std::string> golden; // "golden ID..." lines: the golden units' ids
    long counterWarn = 0;            // "counter warn N alarm M": 0 for none
    long counterAlarm = 0;
    std::optional<double> maxRoundTripMs; // "limit round-trip MS"
    // Other "limit" lines, as written: kept for the fixture's records.
    std::vector<std::pair<std::string, std::string>> notes;
};

// --golden-every: a slot must see a golden unit pass again after this many hours or runs.
struct GoldenEvery
{
    long hours = 0; // 0: not by time
    long runs = 0;  // 0: not by runs
    bool on() const { return hours > 0 || runs > 0; }
};

struct Options
{
    engine::RunOptions run; // polls (default 10 here), expectations, protocols, operator, store...
    std::vector<FixtureSlot> positions;
    std::string fixture; // the --fixture FILE the slots came from, if any
    int maxAttempts = 3;
    std::string unitPattern; // a unit's whole id must match it; empty: any
    long counterWarn = 0;    // the fixture file's "counter" line: 0 for none
    long counterAlarm = 0;
    GoldenEvery goldenEvery;
    std::string plantUrl;       // --plant: pushed to and asked at each scan; empty: none
    bool plantRequired = false; // a scan the plant's database does not answer is refused
    bool requireRemoval = false;
    bool quietPass = false; // no sound for a pass
    std::string drop;       // empty: no folder of reports
    bool help = false;
    bool version = false;
};

using UsageError = cli::UsageError;

// Throws UsageError. Without SLOT or --fixture, the slots come from defaultFixturePath().
Options parseOptions(int argc, const char *const *argv);

// "NAME PORT" a line, or a keyword ("pattern", "fixture", "golden", "counter", "limit") and the
// rest of the line; blank lines and lines starting with "#" are skipped. Throws UsageError naming
// the file and line of what is wrong.
Fixture readFixture(const std::string &path);

// $XDG_CONFIG_HOME/converter-station/fixture, or under ~/.config.
std::string defaultFixturePath();

extern const char *const usageText;

} // namespace line
