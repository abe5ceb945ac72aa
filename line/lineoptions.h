#pragma once

// converter-line's command line: the fixture's slots and the options of each unit's run.

#include "arguments.h"
#include "runoptions.h"

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
    std::string unitPattern; // "pattern REGEX"
    std::string id;          // "fixture ID"
    // "golden", "counter" and "limit" lines, as written: kept for the fixture's records.
    std::vector<std::pair<std::string, std::string>> notes;
};

struct Options
{
    engine::RunOptions run; // polls (default 10 here), expectations, protocols, operator, store...
    std::vector<FixtureSlot> positions;
    std::string fixture; // the --fixture FILE the slots came from, if any
    int maxAttempts = 3;
    std::string unitPattern; // a unit's whole id must match it; empty: any
    std::string fixtureId;   // the fixture file's "fixture" line
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
