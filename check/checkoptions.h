#pragma once

// converter-check's command line.

#include <stdexcept>
#include <string>

namespace check {

// The exit statuses a test executive acts on.
enum ExitStatus : int {
    Passed = 0,            // the reply to the last poll passed all five line tests
    TestsFailed = 1,       // it failed one or more
    NoReply = 2,           // no reply that decides: none, too short, or none to the last poll
    PortNotOpened = 3,     // the port could not be opened
    ProtocolsUnread = 4,   // "Protocol.txt" could not be read
    BadUsage = 64,         // the command line is wrong
    RecordNotCreated = 73, // the --record file could not be created
    OutputFailed = 74,     // the capture or standard output could not be written
};
// Ended by a signal: 128 plus its number, as a shell reports it (130 for Ctrl+C, 143 for SIGTERM).
inline constexpr int signalStatusBase = 128;

struct Options
{
    std::string port;
    int polls = 4;
    bool untilReply = false;
    bool json = false;
    std::string protocols; // empty: "Protocol.txt" in the current directory
    bool noProtocols = false;
    std::string record;
    bool help = false;
    bool version = false;
};

class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Throws UsageError with a message naming what is wrong.
Options parseOptions(int argc, const char *const *argv);

extern const char *const usageText;

} // namespace check
