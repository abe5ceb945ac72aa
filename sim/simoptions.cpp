#include "simoptions.h"

#include "identity.h"

#include "terminaltext.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

namespace sim {

namespace {

const char *const usage = R"(Usage: converter-sim [OPTION]...
Plays the converter unit on a virtual serial line. By default it creates a pty pair and prints
the device path to type into "Comm Port" on its first line of output.

Device:
  --link PATH            keep a symlink to the pty at PATH (replaced when the pty is renewed;
                         only a simulated unit's own link is ever replaced or removed)
  --device PATH          use an existing serial device instead of creating a pty
  --any-line             answer at any speed and framing (default: only at 19200 bit/s, and
                         on a --device only at 8N1, as a real unit; otherwise stay silent
                         and say why on standard error and in the --log)
  --duration SECONDS     exit after this many seconds (default: run until SIGINT/SIGTERM)
                         SIGUSR1 takes the unit out of its fixture: it answers nothing, its line
                         staying open, until the next SIGUSR1 puts it back

Reply content:
  --protocol N           protocol number 0-63 (default 5)
  --unit-version N       the unit's version number 0-63 (default 1)
  --software-ts          software TS mode on
  --hardware-ts          hardware TS mode on
  --fail TEST            make a line test fail: cd-dtr, cts-rts, rts-cts, dtr-cd, tx-rx, all;
                         may be given several times
  --flap TEST[:N]        make a line test fail in N replies, then pass in the next N, and so
                         on, starting with a failure (default N 1); may be given for several
                         tests
  --fault-rate TEST:P[:SEED]
                         fail line TEST in each reply with probability P (0 to 1), as a worn
                         cable in the fixture would, whatever unit is behind it
  --start-source SRC     gps, irig-b or internal (default gps)
  --end-source SRC       gps, irig-b or internal (default irig-b)
  --start-time T         HH:MM:SS.mmm (default: the current UTC time at each reply)
  --end-time T           HH:MM:SS.mmm (default: the start time plus 250 ms)

Faults:
  --pieces N             send each reply in N pieces ...
  --gap-ms MS            ... with MS milliseconds between them (default 20)
  --delay-ms MS[,MS...]  answer MS milliseconds after the request (default 0); a list is
                         cycled one a reply, such as 20,20.6 (to the microsecond)
  --drop-every K         leave every K-th request unanswered
  --garbage N            send N random bytes before each reply
  --hangup-after N       at the N-th request, hang up halfway through the reply (as an
                         unplugged adapter does; the --link goes away with it) ...
  --return-after SEC     ... and come back after SEC seconds as a new pty behind --link
                         (default 2; 0 stays away)
  --flood SECONDS        after the first request, send bytes as fast as the line takes them
  --flood-marks          scatter 80 FF end marks through the flood

Replay:
  --replay FILE          answer each poll with the next reply of a capture written by
                         converter-check --record, in its pieces and with its gaps; a poll that
                         went unanswered there goes unanswered here. The reply content and fault
                         options above do not apply. A regular file of at most 64 MiB
  --loop                 start the capture again after its last poll (default: stay silent)

Measurement:
  --log FILE             log every request received and every reply's last byte written, with
                         CLOCK_MONOTONIC timestamps in seconds: "poll N T" and "reply N T";
                         written as FILE.part and renamed to FILE at the end
  --version              show the program's version
  --help                 show this text
)";

int number(const std::string &text, int low, int high, const char *option)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value < low || value > high)
        usageError(std::string(option) + " takes a whole number from " + std::to_string(low) +
                   " to " + std::to_string(high));
    return static_cast<int>(value);
}

// nan and inf read as numbers, and a time past the bound overflows a clock: both are refused.
double seconds(const std::string &text, const char *option)
{
    constexpr double mostSeconds = 1e6; // eleven days and more
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(value) || value < 0 ||
        value > mostSeconds)
        usageError(std::string(option) + " takes a number of seconds from 0 to 1000000");
    return value;
}

// "20.6": a reply's delay in milliseconds.
double milliseconds(const std::string &text)
{
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(value) || value < 0 || value > 60000)
        usageError("--delay-ms takes milliseconds from 0 to 60000, or a list of them");
    return value;
}

std::uint8_t source(const std::string &text)
{
    if (text == "gps")
        return 0x82;
    if (text == "irig-b")
        return 0x84;
    if (text == "internal")
        return 0x00;
    usageError("a time source is gps, irig-b or internal");
}

// Exactly HH:MM:SS.mmm, two digits, two, two and three, within a day.
TimeTag clockTime(const std::string &text, const char *option)
{
    const auto digits = [&text](std::size_t at, std::size_t count) {
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    static constexpr char pattern[] = "dd:dd:dd.ddd";
    bool shaped = text.size() == sizeof pattern - 1;
    for (std::size_t i = 0; shaped && i < text.size(); ++i)
        shaped = pattern[i] == 'd' ? text[i] >= '0' && text[i] <= '9' : text[i] == pattern[i];
    if (!shaped || digits(0, 2) > 23 || digits(3, 2) > 59 || digits(6, 2) > 59)
        usageError(std::string(option) + " takes HH:MM:SS.mmm, from 00:00:00.000 to " +
                   "23:59:59.999: " + cli::printable(text));
    return {0, static_cast<std::uint8_t>(digits(0, 2)), static_cast<std::uint8_t>(digits(3, 2)),
            static_cast<std::uint8_t>(digits(6, 2)), static_cast<std::uint16_t>(digits(9, 3))};
}

} // namespace

Options parseOptions(int argc, char **argv)
{
    Options o;
    const std::map<std::string, int> tests{{"cd-dtr", CdDtrCpu},
                                           {"cts-rts", CtsRtsCpu},
                                           {"rts-cts", RtsCtsRtu},
                                           {"dtr-cd", DtrCdRtu},
                                           {"tx-rx", TxRxRtu}};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usageError(cli::printable(option) + " needs a value");
            return argv[++i];
        };
        if (option == "--help") {
            std::fputs(usage, stdout);
            std::exit(0);
        } else if (option == "--link") {
            o.link = value();
        } else if (option == "--device") {
            o.device = value();
        } else if (option == "--duration") {
            o.duration = seconds(value(), "--duration");
        } else if (option == "--protocol") {
            o.unit.protocol = number(value(), 0, 63, "--protocol");
        } else if (option == "--unit-version") {
            o.unit.version = number(value(), 0, 63, "--unit-version");
        } else if (option == "--version") {
            std::printf("converter-sim %s\n", std::string(station::version).c_str());
            std::exit(0);
        } else if (option == "--software-ts") {
            o.unit.softwareTs = true;
        } else if (option == "--hardware-ts") {
            o.unit.hardwareTs = true;
        } else if (option == "--fail") {
            const std::string test = value();
            if (test == "all") {
                o.unit.linePasses.fill(false);
            } else if (const auto it = tests.find(test); it != tests.end()) {
                o.unit.linePasses[static_cast<std::size_t>(it->second)] = false;
            } else {
                usageError("--fail takes cd-dtr, cts-rts, rts-cts, dtr-cd, tx-rx or all");
            }
        } else if (option == "--flap") {
            const std::string text = value();
            const std::size_t colon = text.find(':');
            const auto it = tests.find(text.substr(0, colon));
            if (it == tests.end())
                usageError("--flap takes cd-dtr, cts-rts, rts-cts, dtr-cd or tx-rx, then :N for N "
                           "replies a turn");
            o.flapPeriod[static_cast<std::size_t>(it->second)] =
                colon == std::string::npos ? 1
                                           : number(text.substr(colon + 1), 1, 1000000, "--flap N");
        } else if (option == "--fault-rate") {
            // TEST:P[:SEED]
            const std::string text = value();
            const std::size_t colon = text.find(':');
            const std::size_t second =
                colon == std::string::npos ? std::string::npos : text.find(':', colon + 1);
            const auto it = tests.find(text.substr(0, colon));
            char *end = nullptr;
            const std::string rate = colon == std::string::npos
                                         ? std::string()
                                         : text.substr(colon + 1, second - colon - 1);
            const double chance = std::strtod(rate.c_str(), &end);
            if (it == tests.end() || rate.empty() || *end || !(chance >= 0 && chance <= 1))
                usageError("--fault-rate takes TEST:P[:SEED], P from 0 to 1, such as tx-rx:0.1");
            o.faultRate[static_cast<std::size_t>(it->second)] = chance;
            if (second != std::string::npos)
                o.faultSeed =
                    static_cast<unsigned>(number(text.substr(second + 1), 0, 2147483647, "SEED"));
        } else if (option == "--start-source") {
            o.unit.start.source = source(value());
        } else if (option == "--end-source") {
            o.unit.end.source = source(value());
        } else if (option == "--start-time") {
            o.startTime = clockTime(value(), "--start-time");
        } else if (option == "--end-time") {
            o.endTime = clockTime(value(), "--end-time");
        } else if (option == "--any-line") {
            o.anyLine = true;
        } else if (option == "--pieces") {
            o.pieces = number(value(), 1, 64, "--pieces");
        } else if (option == "--gap-ms") {
            o.gapMs = number(value(), 0, 10000, "--gap-ms");
        } else if (option == "--delay-ms") {
            o.delaysMs.clear();
            std::istringstream list(value());
            for (std::string item; std::getline(list, item, ',');)
                o.delaysMs.push_back(milliseconds(item));
            if (o.delaysMs.empty())
                o.delaysMs.push_back(milliseconds(""));
        } else if (option == "--drop-every") {
            o.dropEvery = number(value(), 1, 1000000, "--drop-every");
        } else if (option == "--garbage") {
            o.garbage = number(value(), 0, 100000, "--garbage");
        } else if (option == "--hangup-after") {
            o.hangupAfter = number(value(), 1, 1000000, "--hangup-after");
        } else if (option == "--return-after") {
            o.returnAfter = seconds(value(), "--return-after");
        } else if (option == "--flood") {
            o.flood = seconds(value(), "--flood");
        } else if (option == "--flood-marks") {
            o.floodMarks = true;
        } else if (option == "--log") {
            o.log = value();
        } else if (option == "--replay") {
            o.replay = value();
        } else if (option == "--loop") {
            o.loop = true;
        } else {
            usageError("unknown option " + cli::printable(option));
        }
    }
    if (!o.link.empty() && !o.device.empty())
        usageError("--link and --device do not go together");
    if (o.loop && o.replay.empty())
        usageError("--loop goes with --replay");
    return o;
}

void fail(const std::string &message, int status)
{
    std::fprintf(stderr, "converter-sim: %s\n", message.c_str());
    std::exit(status);
}

void usageError(const std::string &message)
{
    std::fprintf(stderr, "converter-sim: %s\nTry 'converter-sim --help'.\n", message.c_str());
    std::exit(badUsage);
}

} // namespace sim
