#pragma once

// The simulated unit's command line: what it plays and how it misbehaves.

#include "unitreply.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct Options
{
    std::string link;
    std::string device;
    double duration = 0;
    UnitState unit;
    // For each line test: fail and pass by turns, this many replies each; 0 keeps it steady.
    std::array<int, lineTestCount> flapPeriod{};
    // For each line test: the chance that it fails in a reply (a worn cable behind the unit),
    // drawn from a generator seeded with faultSeed.
    std::array<double, lineTestCount> faultRate{};
    unsigned faultSeed = 1;
    std::optional<TimeTag> startTime;
    std::optional<TimeTag> endTime;
    int pieces = 1;
    int gapMs = 20;
    // Each reply's delay after its request, cycled one a reply: a link whose round trip varies.
    std::vector<double> delaysMs{0.0};
    double delayMs(long request) const
    {
        return delaysMs[static_cast<std::size_t>(request - 1) % delaysMs.size()];
    }
    int dropEvery = 0;
    int garbage = 0;
    int hangupAfter = 0;
    double returnAfter = 2;
    double flood = 0;
    bool floodMarks = false;
    std::string log;
    std::string replay;
    bool loop = false;
    bool anyLine = false; // answer at any speed and framing
    // For --any-line, and for a line that tells no speed: the pace of the bytes.
    static constexpr int lineSpeed = 19200;
};

// Exit statuses: as the station's other programs give them.
inline constexpr int cannotStart = 1; // no line, a capture it cannot read
inline constexpr int badUsage = 64;
inline constexpr int fileRefused = 73; // a --link or --log path that is not ours to replace
inline constexpr int outputFailed = 74;

// Reads the options; prints the usage and exits on --help, and exits with status 64 on a bad one.
Options parseOptions(int argc, char **argv);

// Says what went wrong on standard error and exits with `status`.
[[noreturn]] void fail(const std::string &message, int status = cannotStart);
// Says what is wrong with the command line and exits with status 64.
[[noreturn]] void usageError(const std::string &message);

} // namespace sim
