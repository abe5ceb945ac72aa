#pragma once

// converter-check's command line.

#include "arguments.h"
#include "runverdict.h"

#include <string>
#include <vector>

namespace check {

// The exit statuses a test executive acts on.
enum ExitStatus : int {
    Passed = 0,            // every line test passed in every decoded reply, every poll measured
    TestsFailed = 1,       // a line test failed or was intermittent, or an expectation missed
    NoReply = 2,           // incomplete: a poll not measured that keeps the unit from passing
    PortNotOpened = 3,     // the port could not be opened
    ProtocolsUnread = 4,   // "Protocol.txt" could not be read
    BadUsage = 64,         // the command line is wrong
    RecordNotCreated = 73, // a --record, --junit or store file that is not ours to write
    OutputFailed = 74,     // the capture, the store or standard output could not be written
};
// Ended by a signal: 128 plus its number, as a shell reports it (130 for Ctrl+C, 143 for SIGTERM).
inline constexpr int signalStatusBase = 128;

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

extern const char *const usageText;

} // namespace check
