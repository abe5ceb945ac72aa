#pragma once

// converter-check's command line.

#include "arguments.h"
#include "runreport.h"
#include "runstore.h"
#include "runverdict.h"

#include <string>
#include <vector>

namespace check {

struct Options
{
    std::vector<std::string> ports;
    std::vector<std::string> unitIds; // one for each port, empty where none was given
    std::string operatorName;
    std::string stationName; // empty: the host name
    std::string junit;
    Expectations expected;
    int polls = 4;
    int maxMissed = 0;
    int cadenceToleranceMs = 20; // how far a poll period may stray from 500 ms
    bool untilReply = false;
    bool json = false;
    bool quiet = false;
    std::string protocols; // empty: "Protocol.txt" in the current directory
    bool noProtocols = false;
    std::string record;
    std::string store; // empty: the account's own results store
    bool noStore = false;
    bool help = false;
    bool version = false;
};

using UsageError = cli::UsageError;

// Throws UsageError with a message naming what is wrong.
Options parseOptions(int argc, const char *const *argv);

// The options of a unit's run that converter-line shares: --polls, --max-missed,
// --cadence-tolerance-ms, --protocols,
// --no-protocols, --store, --no-store, --operator, --station and --expect-*. Takes the one
// `arguments` is at into `options` and returns true; false for any other. Throws UsageError.
bool takeRunOption(cli::Arguments &arguments, Options &options);
// What those options cannot be given together; throws UsageError.
void checkRunOptions(const Options &options);

// Who and what runs the options ask for, by the tool `toolName`: its operator, its station (the
// host name when not given), a new invocation id.
RunIdentity runIdentity(const Options &options, const std::string &toolName);
// Where the runs go: --store FILE, the account's own store, or none under --no-store.
StoreChoice storeChoice(const Options &options);

extern const char *const usageText;

} // namespace check
