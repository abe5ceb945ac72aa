#include "checkoptions.h"

#include "terminaltext.h"

#include <cerrno>
#include <cstdlib>

namespace check {

const char *const usageText = R"(Usage: converter-check PORT [OPTION]...
Polls the converter unit on PORT every 500 ms at 19200 bit/s, decodes its replies as the test
station does and decides by its exit status whether the unit passed its five line tests.
PORT is named as in the station: COM1 to COM256, a device name such as ttyUSB0, or a path.
"Protocol.txt" is read from the current directory. Each poll period, from one poll to the next
(the last one 500 ms long), is judged by what it showed when it ended.

Options:
  --polls N           poll N times before deciding (default 4)
  --until-reply       stop when a poll period ends with a reply that carries the line tests
  --json              one JSON object a reply on standard output, instead of text
  --protocols FILE    read the protocol names from FILE instead of "Protocol.txt"
  --no-protocols      read no protocol list: every protocol shows as "Unknown Protocol"
  --record FILE       write every poll sent and every piece received to FILE, for
                      converter-sim --replay; written as FILE.part and renamed when complete
  --version           show the program's version
  --help              show this text

Exit status:
  0    the last decoded reply passed all five line tests, and it answered the last poll
  1    the last decoded reply failed one or more (standard error names which)
  2    no complete reply carrying the line tests in N polls, or none to the last poll; a
       reply too short, not starting as a reply starts, or sharing its period with another
       decides nothing
  3    the port could not be opened (standard error says why and what to do)
  4    "Protocol.txt" (or the --protocols FILE) could not be read
  64   bad usage
  73   the --record FILE could not be created (it is not ours to replace, or the folder is
       not writable)
  74   the capture or standard output could not be written (a full disk, for instance)
  141  standard output was a pipe that its reader closed
  130, 143, 129  stopped by Ctrl+C, SIGTERM or SIGHUP; the port is closed all the same
)";

namespace {

int pollCount(const std::string &text)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value < 1 || value > 1000000)
        throw UsageError("--polls takes a whole number from 1 to 1000000");
    return static_cast<int>(value);
}

} // namespace

Options parseOptions(int argc, const char *const *argv)
{
    Options options;
    bool portGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw UsageError(cli::printable(argument) + " needs a value");
            return argv[++i];
        };
        if (argument == "--help") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--polls") {
            options.polls = pollCount(value());
        } else if (argument == "--until-reply") {
            options.untilReply = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--protocols") {
            options.protocols = value();
            if (options.protocols.empty())
                throw UsageError("--protocols needs a file name");
        } else if (argument == "--no-protocols") {
            options.noProtocols = true;
        } else if (argument == "--record") {
            options.record = value();
            if (options.record.empty())
                throw UsageError("--record needs a file name");
        } else if (argument.starts_with("-") && argument != "-") {
            throw UsageError("unknown option " + cli::printable(argument));
        } else if (portGiven) {
            throw UsageError("one port at a time: " + cli::printable(options.port) + " and " +
                             cli::printable(argument));
        } else {
            options.port = argument;
            portGiven = true;
        }
    }
    if (options.help || options.version)
        return options;
    if (!portGiven || options.port.empty())
        throw UsageError("which port? Give one, such as COM1 or /dev/ttyUSB0");
    if (options.noProtocols && !options.protocols.empty())
        throw UsageError("--protocols and --no-protocols do not go together");
    return options;
}

} // namespace check
