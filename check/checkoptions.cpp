#include "checkoptions.h"

#include "identity.h"
#include "protocolfile.h"
#include "terminaltext.h"
#include "uuid.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>

namespace check {

const char *const usageText = R"(Usage: converter-check PORT [PORT]... [OPTION]...
Polls the converter unit on each PORT every 500 ms at 19200 bit/s, all ports at the same time,
decodes the replies as the test station does and decides by its exit status whether each unit
passed its five line tests over the whole run.
PORT is named as in the station: COM1 to COM256, a device name such as ttyUSB0, or a path.
"Protocol.txt" is read from the current directory. Each poll's period runs from that poll
leaving to the next poll leaving, 500 ms later (the last one too). A poll is measured when its
period holds exactly one reply of its own, decoded; every other poll is missed: unanswered,
late (its reply still arriving when the next poll left), too short, noise (no head), two
replies, or a flood.

A line test passes the run when it was OK in every decoded reply, fails when it was Error in
every one, and is intermittent when it was both; every reply counts, a second one in a period
too. A unit passes when all five passed, its last poll was measured, and no poll was missed
beyond --max-missed.

Options (a value goes after a blank or after "=": --polls 4 or --polls=4):
  --polls N           poll N times before deciding (default 4)
  --max-missed N      pass a unit with up to N polls unanswered, too short or with two
                      replies (default 0), for a line that loses a poll now and then; a
                      late, noise or flood poll may hide an Error and always keeps a unit
                      from passing
  --cadence-tolerance-ms N
                      how far a poll period may stray from 500 ms before the poll is
                      stationLate, the station's fault, never a pass (1 to 250; default 20)
  --until-reply       stop at the first measured poll; the polls unanswered before the
                      unit's first reply are not missed
  --json              one JSON object a reply on standard output, instead of text, and a
                      summary object for each port at the end
  --quiet             no report a reply: only the decision and the table (and with --json
                      the summaries); on a terminal, one progress line instead
  --junit FILE        write a JUnit XML report to FILE, one test suite a port; written as
                      FILE.part and renamed when complete
  --unit-id TEXT      the unit's serial number, for the reports; with several ports,
                      --unit-id PORT=TEXT once for each port; filed in upper case
  --unit-case exact   file unit ids as typed (default: upper case)
  --slot PORT=NAME    the fixture slot PORT is wired to, on record (converter-results slots
                      weighs each slot's failures); without it, the port stands for the slot
  --fixture-id ID     the fixture the ports are wired through, on record with every run (the
                      USB adapter's by-id name, vendor, product and serial are recorded too)
  --golden-list FILE  the golden units' ids, blank-separated (# starts a comment): their runs
                      verify the slot, and are never an attempt, nor counted in yield
  --operator TEXT     who tests, for the reports
  --station TEXT      where the test runs, for the reports (default: the host name)
  --expect-protocol N the unit must report protocol N (0 to 63) in every decoded reply
  --expect-version N  the unit must report version N (0 to 63) in every decoded reply
  --expect-ts MODES   the TS modes it must report: agree (both on or both off), software,
                      hardware, both or none
  --max-round-trip MS the median time from a poll to its reply decoded may be at most MS
                      (1 to 500): a slower link fails the run with "round trip ..."
  --protocols FILE    read the protocol names from FILE instead of "Protocol.txt"
  --no-protocols      read no protocol list: every protocol shows as "Unknown Protocol"
  --record FILE       write every poll sent and every piece received to FILE, for
                      converter-sim --replay; written as FILE.part and renamed when complete;
                      one port only
  --store FILE        record each port's run in the results store FILE (default:
                      $XDG_DATA_HOME/converter-station/results.sqlite); converter-results
                      reads it
  --no-store          record nothing
  --version           show the program's version
  --help              show this text

Exit status (with several ports, the worst port's: 3 before 2 before 1 before 0):
  0    pass: every line test OK in every decoded reply, the last poll measured, and no
       more polls missed than --max-missed allows
  1    fail or intermittent: a line test said Error in a decoded reply, or the unit missed
       an expectation (standard error names which), whatever else happened
  2    incomplete: no decoded reply, the last poll not measured, a late, noise or flood
       poll, or more missed polls than --max-missed allows
  3    the port could not be opened (standard error says why and what to do)
  4    "Protocol.txt" (or the --protocols FILE) could not be read; no port is polled
  64   bad usage; no port is polled
  73   the --record, --junit or --store FILE could not be created (it is not ours to
       replace, or the folder is not writable)
  74   the capture, the JUnit report, the results store or standard output could not be
       written (a full disk, a store that is not one, for instance); the other reports
       are still written whole
  141  standard output was a pipe that its reader closed
  130, 143, 129  stopped by Ctrl+C, SIGTERM or SIGHUP: the ports are closed at once, and
       the summary (verdict "interrupted"), the JUnit report and the capture are written
       for what was polled; standard output only as far as it takes them within a second
)";

namespace {

// Whether `text` names a port: a path, a device name or a COM name.
bool looksLikePort(const std::string &text)
{
    return text.find('/') != std::string::npos || text.starts_with("tty") ||
           (text.size() > 3 && (text.starts_with("COM") || text.starts_with("com")) &&
            text.find_first_not_of("0123456789", 3) == std::string::npos);
}

// A file is the folder it is in (device and inode) and its name, so that two spellings of one
// file are one file; a file that exists is also known by its own device and inode.
bool sameFile(const std::string &a, const std::string &b)
{
    const auto folderAndName = [](const std::string &path) {
        const std::filesystem::path p(path);
        struct stat folder = {};
        const std::string parent = p.parent_path().empty() ? "." : p.parent_path().string();
        const bool known = ::stat(parent.c_str(), &folder) == 0;
        return std::tuple(known, folder.st_dev, folder.st_ino,
                          known ? p.filename().string() : p.lexically_normal().string());
    };
    std::error_code error;
    return folderAndName(a) == folderAndName(b) || std::filesystem::equivalent(a, b, error);
}

// The port a PORT=TEXT value names, the longest that fits; none when it names none given.
std::optional<std::size_t> portNamed(const std::string &value, const Options &options)
{
    std::optional<std::size_t> port;
    for (std::size_t i = 0; i < options.ports.size(); ++i)
        if (value.starts_with(options.ports[i] + "=") &&
            (!port || options.ports[i].size() > options.ports[*port].size()))
            port = i;
    return port;
}

// With one port, --unit-id TEXT (or PORT=TEXT); with several, PORT=TEXT for each.
void assignUnitIds(const std::vector<std::string> &given, Options &options)
{
    options.unitIds.assign(options.ports.size(), std::string());
    for (const std::string &value : given) {
        std::optional<std::size_t> port = portNamed(value, options);
        std::string id = port ? value.substr(options.ports[*port].size() + 1) : value;
        if (const std::size_t equals = value.find('='); !port && options.ports.size() == 1 &&
                                                        equals != std::string::npos &&
                                                        looksLikePort(value.substr(0, equals))) {
            // A port spelt otherwise, or a port not given: never filed as part of the id.
            if (!sameFile(value.substr(0, equals), options.ports[0]))
                throw UsageError("--unit-id " + cli::printable(value) + " names a port not given");
            port = 0;
            id = value.substr(equals + 1);
        }
        if (!port && options.ports.size() == 1)
            port = 0;
        if (!port)
            throw UsageError("with several ports, give --unit-id PORT=TEXT, one for each port: " +
                             cli::printable(value));
        if (!options.unitIds[*port].empty())
            throw UsageError("two unit ids for " + cli::printable(options.ports[*port]));
        options.unitIds[*port] =
            store::unitIdAsFiled(printableText("--unit-id", id), options.exactUnitCase);
    }
    // Reports keyed by unit id would let one unit's result stand for the other's.
    for (std::size_t i = 0; i < options.unitIds.size(); ++i)
        for (std::size_t j = i + 1; j < options.unitIds.size(); ++j)
            if (!options.unitIds[i].empty() && options.unitIds[i] == options.unitIds[j])
                throw UsageError(options.unitIds[i] + " is given to two ports");
}

struct FileName
{
    std::string option;
    std::string path;
};

// The capture, the report and the protocol list are three files, never one under two names, nor
// one the .part of another: writing one would replace another.
void checkDistinctFiles(const Options &options)
{
    std::vector<FileName> files;
    for (const auto &[option, path] :
         {std::pair{"--record", &options.record}, std::pair{"--junit", &options.junit},
          std::pair{"--store", &options.store}})
        if (!path->empty()) {
            files.push_back({option, *path});
            files.push_back({std::string(option) + "'s .part", *path + ".part"});
        }
    if (!options.noProtocols)
        files.push_back({"the protocol list", options.protocols.empty()
                                                  ? std::string(station::protocolFileName)
                                                  : options.protocols});
    for (std::size_t i = 0; i < files.size(); ++i)
        for (std::size_t j = i + 1; j < files.size(); ++j)
            if (sameFile(files[i].path, files[j].path))
                throw UsageError(files[i].option + " and " + files[j].option +
                                 " name the same file: " + cli::printable(files[i].path));
}

// --slot PORT=NAME, for any of the ports: the fixture slot it is wired to, on record.
void assignSlots(const std::vector<std::string> &given, Options &options)
{
    options.slotNames.assign(options.ports.size(), std::string());
    for (const std::string &value : given) {
        const std::optional<std::size_t> port = portNamed(value, options);
        if (!port)
            throw UsageError("--slot takes PORT=NAME for a port given: " + cli::printable(value));
        const std::string name = value.substr(options.ports[*port].size() + 1);
        if (name.empty() || name.size() > 32 || cli::printable(name, name.size()) != name)
            throw UsageError("a slot's name is 1 to 32 printable characters: " +
                             cli::printable(name));
        if (!options.slotNames[*port].empty())
            throw UsageError("two slots for " + cli::printable(options.ports[*port]));
        options.slotNames[*port] = name;
    }
}

} // namespace

Options parseOptions(int argc, const char *const *argv)
{
    Options options;
    std::vector<std::string> unitIds, slotsGiven;
    cli::Arguments arguments(argc, argv);
    while (arguments.next()) {
        const std::string &argument = arguments.name();
        const auto value = [&arguments] {
            return arguments.value();
        };
        if (argument == "--help") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (takeRunOption(arguments, options)) {
            continue;
        } else if (argument == "--until-reply") {
            options.untilReply = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "--record") {
            options.record = value();
            if (options.record.empty())
                throw UsageError("--record needs a file name");
        } else if (argument == "--junit") {
            options.junit = value();
            if (options.junit.empty())
                throw UsageError("--junit needs a file name");
        } else if (argument == "--unit-id") {
            unitIds.push_back(value());
        } else if (argument == "--slot") {
            slotsGiven.push_back(value());
        } else if (argument.starts_with("-") && argument != "-") {
            throw UsageError("unknown option " + cli::printable(argument));
        } else {
            if (argument.empty())
                throw UsageError("an empty port name");
            for (const std::string &port : options.ports)
                if (port == argument)
                    throw UsageError(cli::printable(argument) + " is named twice");
            options.ports.push_back(argument);
        }
    }
    if (options.help || options.version)
        return options;
    if (options.ports.empty())
        throw UsageError("which port? Give one, such as /dev/ttyUSB0; 'ls /dev/serial/by-id/' "
                         "lists the USB adapters plugged in");
    if (!options.record.empty() && options.ports.size() > 1)
        throw UsageError("--record takes one port's line: give one port");
    checkDistinctFiles(options);
    assignUnitIds(unitIds, options);
    assignSlots(slotsGiven, options);
    checkRunOptions(options);
    return options;
}

} // namespace check
