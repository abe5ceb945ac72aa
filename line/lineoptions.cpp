#include "lineoptions.h"

#include "inputfile.h"
#include "terminaltext.h"

#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>

namespace line {

const char *const usageText = R"(Usage: converter-line [OPTION]... SLOT...
       converter-line [OPTION]... --fixture FILE
The operator's window of a production line: a slot for each fixture position. Scan a unit's
serial number into a slot (a barcode scanner types it and Enter) and the slot tests that unit as
converter-check does, shows its verdict large (PASS, FAIL, INTERMITTENT or INCOMPLETE) until the
next scan, and records the run in the results store; the keyboard focus moves on to the next slot.
SLOT is PORT or NAME=PORT, 1 to 8 of them; unnamed slots are numbered 1, 2, ...

Options:
  --fixture FILE      the slots from FILE, one "NAME PORT" a line, and "pattern REGEX",
                      "fixture ID", "golden ID..." or "counter warn N alarm M" lines
                      (default without SLOT: $XDG_CONFIG_HOME/converter-station/fixture)
  --fixture-id ID     the fixture's id, on record with every run (before a "fixture" line)
  --golden-list FILE  golden units' ids, beside "golden" lines: their runs verify a slot
  --golden-every 8h|N a slot waits for a golden unit to pass at start-up, then every 8 hours
                      or N runs, when it turns suspect and at its counter's alarm
  --polls N           poll each unit N times (default 10)
  --max-missed N      pass a unit with up to N polls unanswered, too short or with two
                      replies (default 0)
  --cadence-tolerance-ms N
                      how far a poll period may stray from 500 ms before the run is the
                      station's fault and no attempt (default 20)
  --unit-pattern REGEX
                      refuse a scanned id that does not match REGEX as a whole
  --unit-case exact   file scanned ids as typed (default: upper case)
  --plant URL         push each run to the plant's PostgreSQL database once it is recorded,
                      and count a scanned unit's attempts on every bench PC (asked for at
                      most 300 ms; when it does not answer, this PC's attempts are counted
                      and the slot says so)
  --plant-required    refuse a scan the plant's database does not answer
  --require-removal   refuse a new unit's id while the slot's last unit still answers: it
                      must be taken out first
  --quiet-pass        no sound for a pass (a failure and a refused scan still sound)
  --max-attempts N    test a unit at most N times; a unit past it is sent to repair
                      (default 3)
  --expect-protocol N, --expect-version N, --expect-ts MODES, --max-round-trip MS
                      what every decoded reply must report, as for converter-check; a
                      fixture's "limit round-trip MS" line sets the last
  --protocols FILE    read the protocol names from FILE instead of "Protocol.txt"
  --no-protocols      read no protocol list
  --operator TEXT     who tests, for the record
  --station TEXT      where the test runs, for the record (default: the host name)
  --store FILE        record the runs in the results store FILE (default:
                      $XDG_DATA_HOME/converter-station/results.sqlite)
  --no-store          record nothing; attempts are counted within the session
  --drop DIR          also write each run's JSON summary and JUnit report to DIR as
                      RUNID.json and RUNID.xml
  --version           show the program's version
  --help              show this text

Keys: Enter in a unit field starts its slot's test; Tab moves between fields; Escape clears a
note; F11 toggles full screen. Closing the window during a run records the run as interrupted.
)";

namespace {

std::string configFolder()
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return config;
    const char *home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) + "/.config" : std::string();
}

// "warn N alarm M": the running count at which a slot's band warns, and at which it is blocked.
void readCounter(const std::string &words, const std::string &where, Fixture &fixture)
{
    std::istringstream in(words);
    std::string warn, alarm, rest;
    long n = 0, m = 0;
    if (!(in >> warn >> n >> alarm >> m) || warn != "warn" || alarm != "alarm" || (in >> rest) ||
        n < 1 || m < n)
        throw UsageError(where + "a counter line is \"counter warn N alarm M\", 0 < N <= M");
    fixture.counterWarn = n;
    fixture.counterAlarm = m;
}

// --golden-every 8h (hours) or 500 (runs).
GoldenEvery goldenEvery(const std::string &text)
{
    const bool hours = !text.empty() && text.back() == 'h';
    const long value =
        engine::wholeNumber("--golden-every", hours ? text.substr(0, text.size() - 1) : text, 1,
                            hours ? 24 * 366 : 1000000);
    return hours ? GoldenEvery{value, 0} : GoldenEvery{0, value};
}

// A fixture file's keyword lines: never a slot's name.
const std::set<std::string> keywords = {"pattern", "fixture", "golden", "counter", "limit"};

void checkPattern(const std::string &pattern, const std::string &where)
{
    const QRegularExpression expression(QString::fromStdString(pattern));
    if (pattern.empty() || !expression.isValid())
        throw UsageError(where + "--unit-pattern takes a regular expression: " +
                         expression.errorString().toStdString());
}

void checkSlots(const std::vector<FixtureSlot> &positions, const std::string &where)
{
    if (positions.empty() || positions.size() > maxSlots)
        throw UsageError(where + "give 1 to " + std::to_string(maxSlots) + " slots, not " +
                         std::to_string(positions.size()));
    std::set<std::string> names, ports;
    for (const FixtureSlot &slot : positions) {
        if (slot.name.empty() || slot.name.size() > 32 ||
            cli::printable(slot.name, slot.name.size()) != slot.name)
            throw UsageError(where + "a slot's name is 1 to 32 printable characters: " +
                             cli::printable(slot.name));
        if (slot.port.empty())
            throw UsageError(where + "slot " + slot.name + " has no port");
        if (keywords.contains(slot.name))
            throw UsageError(where + "\"" + slot.name +
                             "\" is a fixture file's keyword, not a "
                             "slot's name");
        if (!names.insert(slot.name).second)
            throw UsageError(where + "two positions are named " + slot.name);
        if (!ports.insert(slot.port).second)
            throw UsageError(where + "two positions have the port " + cli::printable(slot.port));
    }
}

} // namespace

std::string defaultFixturePath()
{
    const std::string folder = configFolder();
    return folder.empty() ? std::string() : folder + "/converter-station/fixture";
}

Fixture readFixture(const std::string &path)
{
    auto opened = cli::openInputFile(path, 64 * 1024);
    auto *file = std::get_if<cli::InputFile>(&opened);
    if (!file)
        throw UsageError(cli::printable(path) + ": " + std::get<std::string>(opened));
    Fixture fixture;
    char *text = nullptr;
    std::size_t capacity = 0;
    struct Freed
    {
        char *&text;
        ~Freed() { std::free(text); }
    } freed{text};
    for (int number = 1;; ++number) {
        // Each line whole, however long: a long one is refused, never read as two.
        const ssize_t length = ::getline(&text, &capacity, file->get());
        if (length < 0)
            break;
        std::string line(text, static_cast<std::size_t>(length));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (number == 1 && line.starts_with("\xEF\xBB\xBF"))
            line.erase(0, 3); // a byte-order mark an editor put there
        if (line.size() > 4096)
            throw UsageError(cli::printable(path) + ":" + std::to_string(number) +
                             ": a line of more than 4096 bytes");
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        const std::size_t blank = line.find_first_of(" \t", start);
        const std::size_t port =
            blank == std::string::npos ? std::string::npos : line.find_first_not_of(" \t", blank);
        const std::string where = cli::printable(path) + ":" + std::to_string(number) + ": ";
        if (port == std::string::npos)
            throw UsageError(where + "give a slot's name and its port, such as \"A "
                                     "/dev/serial/by-path/...\"");
        std::string device = line.substr(port);
        while (!device.empty() && (device.back() == ' ' || device.back() == '\t'))
            device.pop_back();
        if (const std::string name = line.substr(start, blank - start); keywords.contains(name)) {
            if (name == "pattern") {
                checkPattern(device, where);
                fixture.unitPattern = device;
            } else if (name == "fixture") {
                fixture.id = device;
            } else if (name == "golden") {
                std::istringstream ids(device);
                for (std::string id; ids >> id;)
                    fixture.golden.push_back(id);
            } else if (name == "counter") {
                readCounter(device, where, fixture);
            } else if (name == "limit" && device.starts_with("round-trip ")) {
                const std::string ms = device.substr(device.find_first_not_of(' ', 10));
                fixture.maxRoundTripMs =
                    double(engine::wholeNumber(where + "limit round-trip", ms, 1, 500));
            } else {
                fixture.notes.emplace_back(name, device);
            }
            continue;
        }
        // "Slot B /dev/ttyUSB1" would be a slot "Slot" on a port "B /dev/ttyUSB1".
        if (device.find_first_of(" \t") != std::string::npos)
            throw UsageError(where +
                             "a slot's line is its name and its port, one word each, not \"" +
                             cli::printable(line.substr(start)) + "\"");
        fixture.positions.push_back({line.substr(start, blank - start), device});
    }
    checkSlots(fixture.positions, cli::printable(path) + ": ");
    return fixture;
}

Options parseOptions(int argc, const char *const *argv)
{
    Options options;
    options.run.polls = 10;
    cli::Arguments arguments(argc, argv);
    std::vector<std::string> given;
    while (arguments.next()) {
        const std::string &argument = arguments.name();
        if (argument == "--help") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (engine::takeRunOption(arguments, options.run)) {
            continue;
        } else if (argument == "--fixture") {
            options.fixture = arguments.value();
        } else if (argument == "--drop") {
            options.drop = arguments.value();
            if (options.drop.empty())
                throw UsageError("--drop needs a folder");
        } else if (argument == "--unit-pattern") {
            options.unitPattern = arguments.value();
            checkPattern(options.unitPattern, "");
        } else if (argument == "--golden-every") {
            options.goldenEvery = goldenEvery(arguments.value());
        } else if (argument == "--plant") {
            options.plantUrl = arguments.value();
            if (options.plantUrl.empty())
                throw UsageError("--plant needs the database's URL");
        } else if (argument == "--plant-required") {
            options.plantRequired = true;
        } else if (argument == "--require-removal") {
            options.requireRemoval = true;
        } else if (argument == "--quiet-pass") {
            options.quietPass = true;
        } else if (argument == "--max-attempts") {
            options.maxAttempts = engine::wholeNumber(argument, arguments.value(), 1, 1000);
        } else if (argument.starts_with("-")) {
            throw UsageError("unknown option " + cli::printable(argument));
        } else {
            given.push_back(argument);
        }
    }
    if (options.help || options.version)
        return options;
    engine::checkRunOptions(options.run);
    if (options.plantRequired && options.plantUrl.empty())
        throw UsageError("--plant-required goes with --plant URL");
    if (!options.plantUrl.empty() && options.run.noStore)
        throw UsageError("--plant sends the store's runs: not with --no-store");
    if (!given.empty() && !options.fixture.empty())
        throw UsageError("give the positions or --fixture FILE, not both");
    if (given.empty()) {
        if (options.fixture.empty())
            options.fixture = defaultFixturePath();
        Fixture fixture = readFixture(options.fixture);
        options.positions = std::move(fixture.positions);
        // The command line's fixture id and golden list before, and beside, the fixture's.
        if (options.run.fixtureId.empty())
            options.run.fixtureId = fixture.id;
        options.run.goldenUnits.insert(options.run.goldenUnits.end(), fixture.golden.begin(),
                                       fixture.golden.end());
        options.counterWarn = fixture.counterWarn;
        options.counterAlarm = fixture.counterAlarm;
        if (!options.run.expected.maxRoundTripMs)
            options.run.expected.maxRoundTripMs = fixture.maxRoundTripMs;
        // The command line's pattern before the fixture's.
        if (options.unitPattern.empty())
            options.unitPattern = fixture.unitPattern;
        if (options.goldenEvery.on() && options.run.goldenUnits.empty())
            throw UsageError("--golden-every needs golden units: --golden-list FILE or a fixture "
                             "file's \"golden\" lines");
        return options;
    }
    for (std::size_t i = 0; i < given.size(); ++i) {
        const std::size_t equals = given[i].find('=');
        // A path holds a "/" before any "=" it may hold: then it is a port without a name.
        if (equals != std::string::npos && given[i].find('/') > equals)
            options.positions.push_back({given[i].substr(0, equals), given[i].substr(equals + 1)});
        else
            options.positions.push_back({std::to_string(i + 1), given[i]});
    }
    checkSlots(options.positions, "");
    if (options.goldenEvery.on() && options.run.goldenUnits.empty())
        throw UsageError("--golden-every needs golden units: --golden-list FILE or a fixture "
                         "file's \"golden\" lines");
    return options;
}

} // namespace line
