#include "resultsoptions.h"

#include "terminaltext.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace results {

namespace {

constexpr const char *commandList = "history, runs, yield, pareto, slots, fixtures, maintenance, "
                                    "timing, export, push, backup or plant-schema";

int wholeNumber(const std::string &option, const std::string &text, long lowest, long highest)
{
    char *end = nullptr;
    errno = 0;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (errno || end == text.c_str() || *end || number < lowest || number > highest)
        throw UsageError(option + " takes a whole number from " + std::to_string(lowest) + " to " +
                         std::to_string(highest));
    return static_cast<int>(number);
}

std::optional<std::tm> parsedDay(const std::string &text)
{
    std::tm day{};
    char end = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &day.tm_year, &day.tm_mon, &day.tm_mday, &end) !=
            3 ||
        text.size() != 10)
        return std::nullopt;
    // Stored times are compared as text: a year of other than four digits would sort wrongly.
    if (day.tm_year < 1970 || day.tm_year > 9998)
        throw UsageError(text + " is outside the years 1970 to 9998");
    day.tm_year -= 1900;
    day.tm_mon -= 1;
    return day;
}

// "06:00,14:00,22:00": minutes after midnight, ascending, each once.
std::vector<int> shiftStarts(const std::string &text)
{
    std::vector<int> starts;
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string clock = text.substr(at, comma - at);
        int hours = -1, minutes = -1;
        char end = 0;
        if (clock.size() != 5 ||
            std::sscanf(clock.c_str(), "%2d:%2d%c", &hours, &minutes, &end) != 2 || hours < 0 ||
            hours > 23 || minutes < 0 || minutes > 59 ||
            (!starts.empty() && hours * 60 + minutes <= starts.back()) || starts.size() == 24)
            throw UsageError("--shifts takes up to 24 starts HH:MM, earliest first, such as "
                             "06:00,14:00,22:00");
        starts.push_back(hours * 60 + minutes);
        if (comma == text.size())
            return starts;
        at = comma + 1;
    }
}

// Sets the process's time zone from --tz; whether days are then told by it rather than by UTC.
bool useZone(const std::string &zone)
{
    if (zone == "local") {
        ::tzset();
        return true;
    }
    if (zone == "UTC") {
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
        return false;
    }
    // A name the system's zone database holds; glibc would take any other as UTC, silently.
    struct stat info
    {};
    const std::string path = "/usr/share/zoneinfo/" + zone;
    if (zone.empty() || zone.front() == '/' || zone.find("..") != std::string::npos ||
        ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        throw UsageError("--tz takes local, UTC or a zone such as America/Chicago, not " +
                         cli::printable(zone));
    ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
    return true;
}

std::string formatted(std::time_t at)
{
    std::tm utc{};
    ::gmtime_r(&at, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000Z", &utc);
    return text;
}

} // namespace

std::string storedTime(const std::string &option, const std::string &text, bool until)
{
    const std::time_t now = std::time(nullptr);
    std::time_t at = 0;
    bool wholeDay = true;
    // A day's midnight and the next's by the zone's own clock: a day of a change to or from
    // summer time has 23 or 25 hours.
    const auto midnight = [&](std::tm day, int after) {
        day.tm_hour = day.tm_min = day.tm_sec = 0;
        day.tm_mday += after;
        day.tm_isdst = -1;
        return std::mktime(&day);
    };
    if (text == "today" || text == "yesterday") {
        std::tm local{};
        ::localtime_r(&now, &local);
        const int first = text == "yesterday" ? -1 : 0;
        return formatted(midnight(local, first + (until ? 1 : 0)));
    } else if (auto day = parsedDay(text)) {
        std::tm asked = *day;
        ::timegm(&*day); // normalises it: 2026-02-30 is no date
        if (day->tm_mday != asked.tm_mday || day->tm_mon != asked.tm_mon)
            throw UsageError(option + ": " + cli::printable(text) + " is no date");
        return formatted(midnight(asked, until ? 1 : 0));
    } else if (text.size() == 20 && text[10] == 'T' && text[19] == 'Z' &&
               (day = parsedDay(text.substr(0, 10)))) {
        int hours = 0, minutes = 0, seconds = 0;
        char end = 0;
        if (std::sscanf(text.c_str() + 11, "%2d:%2d:%2d%c", &hours, &minutes, &seconds, &end) !=
                4 ||
            end != 'Z' || hours > 23 || minutes > 59 || seconds > 59 || hours < 0 || minutes < 0 ||
            seconds < 0)
            throw UsageError(option + ": " + cli::printable(text) + " is no time");
        at = ::timegm(&*day) + hours * 3600 + minutes * 60 + seconds;
        wholeDay = false;
    } else {
        throw UsageError(option + " takes YYYY-MM-DD, YYYY-MM-DDTHH:MM:SSZ, today or yesterday");
    }
    return formatted(at + (until && wholeDay ? 86400 : 0));
}

Options parseOptions(int argc, const char *const *argv)
{
    std::string since, until;
    bool exactCase = false;
    Options options;
    bool formatGiven = false;
    cli::Arguments arguments(argc, argv);
    // A command, then its operand: the unit, the URL or the copy's file.
    const auto operand = [&](const std::string &argument) {
        if (options.command == Command::None) {
            static const std::pair<const char *, Command> commands[] = {
                {"history", Command::History},
                {"runs", Command::Runs},
                {"yield", Command::Yield},
                {"pareto", Command::Pareto},
                {"export", Command::Export},
                {"push", Command::Push},
                {"backup", Command::Backup},
                {"slots", Command::Slots},
                {"fixtures", Command::Fixtures},
                {"maintenance", Command::Maintenance},
                {"plant-schema", Command::PlantSchema},
                {"timing", Command::Timing}};
            for (const auto &[name, command] : commands)
                if (argument == name)
                    options.command = command;
            if (options.command == Command::None)
                throw UsageError("unknown command " + cli::printable(argument) + ": " +
                                 commandList);
        } else if (options.command == Command::Backup && options.copy.empty()) {
            options.copy = argument;
        } else if (options.command == Command::History && options.unitId.empty()) {
            options.unitId = argument;
        } else if (options.command == Command::Push && options.url.empty()) {
            options.url = argument;
        } else if (options.command == Command::Maintenance && options.target.empty()) {
            options.target = argument;
        } else {
            throw UsageError("what is " + cli::printable(argument) + "?");
        }
    };
    while (arguments.next()) {
        const std::string &argument = arguments.name();
        const auto value = [&arguments] {
            return arguments.value();
        };
        if (arguments.isOperand()) {
            operand(argument); // after "--": "history -- -2+3"
        } else if (argument == "--help") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--store") {
            options.store = value();
            if (options.store.empty())
                throw UsageError("--store needs a file name");
        } else if (argument == "--since") {
            since = value();
        } else if (argument == "--until") {
            until = value();
        } else if (argument == "--tz") {
            options.zone = value();
        } else if (argument == "--shifts") {
            options.calendar.shiftStarts = shiftStarts(value());
        } else if (argument == "--station") {
            options.filter.station = value();
        } else if (argument == "--unit") {
            options.filter.unitId = value();
        } else if (argument == "--unit-case") {
            const std::string word = value();
            if (word != "exact" && word != "upper")
                throw UsageError("--unit-case takes upper or exact");
            exactCase = word == "exact";
        } else if (argument == "--verdict") {
            options.filter.verdict = value();
            if (options.filter.verdict != "pass" && options.filter.verdict != "fail" &&
                options.filter.verdict != "intermittent" &&
                options.filter.verdict != "incomplete" && options.filter.verdict != "interrupted")
                throw UsageError("--verdict takes pass, fail, intermittent, incomplete or "
                                 "interrupted");
        } else if (argument == "--by") {
            const std::string by = value();
            static const std::pair<const char *, store::GroupBy> groups[] = {
                {"day", store::GroupBy::Day},           {"station", store::GroupBy::Station},
                {"operator", store::GroupBy::Operator}, {"slot", store::GroupBy::Slot},
                {"port", store::GroupBy::Port},         {"fixture", store::GroupBy::Fixture},
                {"adapter", store::GroupBy::Adapter},   {"shift", store::GroupBy::Shift}};
            options.by = store::GroupBy::None;
            for (const auto &[name, group] : groups)
                if (by == name)
                    options.by = group;
            if (options.by == store::GroupBy::None)
                throw UsageError(
                    "--by takes day, shift, station, operator, slot, port, fixture or adapter");
        } else if (argument == "--json") {
            options.format = Format::Json;
        } else if (argument == "--format") {
            const std::string format = value();
            options.format = format == "csv"     ? Format::Csv
                             : format == "jsonl" ? Format::JsonLines
                                                 : throw UsageError("--format takes csv or jsonl");
            formatGiven = true;
        } else if (argument == "--note") {
            options.note = value();
            if (options.note.empty() || cli::printable(options.note, 400) != options.note)
                throw UsageError("--note takes printable text, at most 400 characters");
        } else if (argument == "--operator") {
            options.byWhom = value();
            if (options.byWhom.empty() || cli::printable(options.byWhom, 64) != options.byWhom)
                throw UsageError("--operator takes printable text, at most 64 characters");
        } else if (argument == "--held") {
            options.held = true;
        } else if (argument == "--retry-held") {
            options.retryHeld = true;
        } else if (argument == "--timeout") {
            options.timeoutSeconds = wholeNumber(argument, value(), 1, 3600);
        } else if (argument == "--max-round-trip") {
            options.maxRoundTripMs = wholeNumber(argument, value(), 1, 500);
        } else if (argument == "--batch") {
            options.batch = wholeNumber(argument, value(), 1, 100000);
        } else if (argument.starts_with("-")) {
            throw UsageError("unknown option " + cli::printable(argument));
        } else {
            operand(argument);
        }
    }
    if (options.help || options.version)
        return options;
    // Days are the zone's: the dates given, and --by day and shift.
    options.calendar.local = useZone(options.zone);
    if (!since.empty())
        options.filter.window.since = storedTime("--since", since, false);
    if (!until.empty())
        options.filter.window.until = storedTime("--until", until, true);
    if ((options.by == store::GroupBy::Shift) != !options.calendar.shiftStarts.empty())
        throw UsageError(options.by == store::GroupBy::Shift
                             ? "--by shift needs --shifts HH:MM,...: when each shift starts"
                             : "--shifts goes with --by shift");
    // Ids are filed as the checks file them.
    options.unitId = store::unitIdAsFiled(options.unitId, exactCase);
    options.filter.unitId = store::unitIdAsFiled(options.filter.unitId, exactCase);
    if (options.command == Command::None)
        throw UsageError(std::string("which command? ") + commandList);
    if (const store::Window &window = options.filter.window;
        !window.since.empty() && !window.until.empty() && window.since >= window.until)
        throw UsageError("--since " + window.since + " is not before --until " + window.until +
                         ": the period holds nothing");
    if (options.command == Command::Backup && options.copy.empty())
        throw UsageError("backup needs the copy's file name");
    if (options.command == Command::History && options.unitId.empty())
        throw UsageError("history needs a unit id");
    if (options.command == Command::Maintenance && (options.target.empty() || options.note.empty()))
        throw UsageError("maintenance needs the slot or fixture and --note TEXT: what was done");
    if (options.command != Command::Maintenance &&
        (!options.note.empty() || !options.byWhom.empty()))
        throw UsageError("--note and --operator go with maintenance");
    const bool byPart = options.by == store::GroupBy::Slot ||
                        options.by == store::GroupBy::Fixture ||
                        options.by == store::GroupBy::Adapter;
    const bool byLink = options.by == store::GroupBy::Slot || options.by == store::GroupBy::Port;
    if (options.by != store::GroupBy::None && options.command != Command::Yield &&
        options.command != Command::Pareto && !(options.command == Command::Slots && byPart) &&
        !(options.command == Command::Timing && byLink))
        throw UsageError("--by goes with yield and pareto, slot, fixture or adapter with slots, "
                         "and port or slot with timing");
    if (options.maxRoundTripMs && options.command != Command::Timing)
        throw UsageError("--max-round-trip goes with timing");
    if (options.command != Command::Push && (options.held || options.retryHeld))
        throw UsageError("--held and --retry-held go with push");
    if (options.held && options.retryHeld)
        throw UsageError("--held lists the runs held back; --retry-held sends them: not both");
    if (options.command == Command::Push && options.url.empty() && !options.held)
        throw UsageError("push needs the database's URL");
    if ((options.command == Command::Export) != formatGiven)
        throw UsageError(formatGiven ? "--format goes with export"
                                     : "export needs --format csv or --format jsonl");
    return options;
}

} // namespace results
