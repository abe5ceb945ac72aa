// A simulated converter unit on a virtual serial line: answers every status request with a status
// reply built from its options, and can misbehave on request for tests and demonstrations.

#include "unitreply.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <random>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t pollRequest[] = {0x80, 0xFE, 0x80, 0xFF};

const char *const usage = R"(Usage: converter-sim [OPTION]...
Plays the converter unit on a virtual serial line. By default it creates a pty pair and prints
the device path to type into "Comm Port" on its first line of output.

Device:
  --link PATH            keep a symlink to the pty at PATH (replaced when the pty is renewed)
  --device PATH          use an existing serial device instead of creating a pty
  --duration SECONDS     exit after this many seconds (default: run until SIGINT/SIGTERM)

Reply content:
  --protocol N           protocol number 0-63 (default 5)
  --version N            version number 0-63 (default 1)
  --software-ts          software TS mode on
  --hardware-ts          hardware TS mode on
  --fail TEST            make a line test fail: cd-dtr, cts-rts, rts-cts, dtr-cd, tx-rx, all;
                         may be given several times
  --start-source SRC     gps, irig-b or internal (default gps)
  --end-source SRC       gps, irig-b or internal (default irig-b)
  --start-time T         HH:MM:SS.mmm (default: the current UTC time at each reply)
  --end-time T           HH:MM:SS.mmm (default: the start time plus 250 ms)

Faults:
  --pieces N             send each reply in N pieces ...
  --gap-ms MS            ... with MS milliseconds between them (default 20)
  --delay-ms MS          answer MS milliseconds after the request (default 0)
  --drop-every K         leave every K-th request unanswered
  --garbage N            send N random bytes before each reply
  --hangup-after N       at the N-th request, hang up halfway through the reply (as an
                         unplugged adapter does; the --link goes away with it) ...
  --return-after SEC     ... and come back after SEC seconds as a new pty behind --link
                         (default 2; 0 stays away)
  --flood SECONDS        after the first request, send bytes as fast as the line takes them
  --flood-marks          scatter 80 FF end marks through the flood

Measurement:
  --log FILE             log every request received and every reply's last byte written, with
                         CLOCK_MONOTONIC timestamps in seconds: "poll N T" and "reply N T"
  --help                 show this text
)";

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

[[noreturn]] void fail(const std::string &message)
{
    std::fprintf(stderr, "converter-sim: %s\n", message.c_str());
    std::exit(2);
}

struct Options
{
    std::string link;
    std::string device;
    double duration = 0;
    sim::UnitState unit;
    std::optional<sim::TimeTag> startTime;
    std::optional<sim::TimeTag> endTime;
    int pieces = 1;
    int gapMs = 20;
    int delayMs = 0;
    int dropEvery = 0;
    int garbage = 0;
    int hangupAfter = 0;
    double returnAfter = 2;
    double flood = 0;
    bool floodMarks = false;
    std::string log;
};

int number(const std::string &text, int low, int high, const char *option)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value < low || value > high)
        fail(std::string(option) + " takes a whole number from " + std::to_string(low) + " to " +
             std::to_string(high));
    return static_cast<int>(value);
}

double seconds(const std::string &text, const char *option)
{
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || value < 0)
        fail(std::string(option) + " takes a number of seconds");
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
    fail("a time source is gps, irig-b or internal");
}

sim::TimeTag clockTime(const std::string &text)
{
    unsigned h = 0, m = 0, s = 0, ms = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%u:%u:%u.%u%c", &h, &m, &s, &ms, &tail) != 4 || h > 255 ||
        m > 255 || s > 255 || ms > 65535)
        fail("a time is HH:MM:SS.mmm");
    return {0, static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(m),
            static_cast<std::uint8_t>(s), static_cast<std::uint16_t>(ms)};
}

Options parse(int argc, char **argv)
{
    Options o;
    const std::map<std::string, int> tests{{"cd-dtr", sim::CdDtrCpu},
                                           {"cts-rts", sim::CtsRtsCpu},
                                           {"rts-cts", sim::RtsCtsRtu},
                                           {"dtr-cd", sim::DtrCdRtu},
                                           {"tx-rx", sim::TxRxRtu}};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                fail(option + " needs a value");
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
        } else if (option == "--version") {
            o.unit.version = number(value(), 0, 63, "--version");
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
                fail("--fail takes cd-dtr, cts-rts, rts-cts, dtr-cd, tx-rx or all");
            }
        } else if (option == "--start-source") {
            o.unit.start.source = source(value());
        } else if (option == "--end-source") {
            o.unit.end.source = source(value());
        } else if (option == "--start-time") {
            o.startTime = clockTime(value());
        } else if (option == "--end-time") {
            o.endTime = clockTime(value());
        } else if (option == "--pieces") {
            o.pieces = number(value(), 1, 64, "--pieces");
        } else if (option == "--gap-ms") {
            o.gapMs = number(value(), 0, 10000, "--gap-ms");
        } else if (option == "--delay-ms") {
            o.delayMs = number(value(), 0, 60000, "--delay-ms");
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
        } else {
            fail("unknown option " + option + " (see --help)");
        }
    }
    if (!o.link.empty() && !o.device.empty())
        fail("--link and --device do not go together");
    return o;
}

double monotonicSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

sim::TimeTag utcNow(std::chrono::milliseconds offset)
{
    const auto now = std::chrono::system_clock::now() + offset;
    const auto sinceMidnight = now.time_since_epoch() % std::chrono::hours(24);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceMidnight).count();
    return {0, static_cast<std::uint8_t>(ms / 3600000), static_cast<std::uint8_t>(ms / 60000 % 60),
            static_cast<std::uint8_t>(ms / 1000 % 60), static_cast<std::uint16_t>(ms % 1000)};
}

void makeRaw(int descriptor)
{
    termios settings{};
    if (::tcgetattr(descriptor, &settings) != 0)
        return;
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B19200);
    ::cfsetospeed(&settings, B19200);
    ::tcsetattr(descriptor, TCSANOW, &settings);
}

class Line
{
public:
    explicit Line(const Options &options) : m_options(options) {}
    ~Line() { close(true); }

    void open()
    {
        if (!m_options.device.empty()) {
            m_io = ::open(m_options.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            if (m_io < 0)
                fail(m_options.device + ": " + std::strerror(errno));
            makeRaw(m_io);
            m_path = m_options.device;
            return;
        }
        int master = -1;
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            fail(std::string("openpty: ") + std::strerror(errno));
        // Raw from the start, so nothing the station sends is echoed back before it configures
        // the line itself.
        makeRaw(slave);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);
        m_io = master;
        // Holding the slave open keeps the master from reporting a hang-up while no station has
        // the line open.
        m_slave = slave;
        m_path = name;
        if (!m_options.link.empty()) {
            // Replace the link atomically, so a station never sees it missing.
            const std::string temporary = m_options.link + ".new";
            std::filesystem::remove(temporary);
            if (::symlink(name, temporary.c_str()) != 0 ||
                ::rename(temporary.c_str(), m_options.link.c_str()) != 0)
                fail(m_options.link + ": " + std::strerror(errno));
        }
    }

    void close(bool removeLink)
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_io >= 0)
            ::close(m_io);
        m_slave = m_io = -1;
        if (removeLink && !m_options.link.empty())
            ::unlink(m_options.link.c_str());
    }

    int descriptor() const { return m_io; }
    const std::string &path() const { return m_path; }
    std::string typeIn() const { return m_options.link.empty() ? m_path : m_options.link; }

private:
    const Options &m_options;
    int m_io = -1;
    int m_slave = -1;
    std::string m_path;
};

struct PendingWrite
{
    Clock::time_point due;
    Bytes bytes;
    long replyNumber; // logged when this is the last piece of a reply; 0 otherwise
};

class Unit
{
public:
    explicit Unit(const Options &options) : m_options(options), m_line(options)
    {
        if (!options.log.empty()) {
            m_log = std::fopen(options.log.c_str(), "w");
            if (!m_log)
                fail(options.log + ": " + std::strerror(errno));
            std::setvbuf(m_log, nullptr, _IOLBF, 0);
        }
    }
    ~Unit()
    {
        if (m_log)
            std::fclose(m_log);
    }

    int run()
    {
        m_line.open();
        std::printf("%s\n", m_line.typeIn().c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "converter-sim: type %s into \"Comm Port\" (device %s)\n",
                     m_line.typeIn().c_str(), m_line.path().c_str());

        const auto startedAt = Clock::now();
        while (!stopRequested) {
            const auto now = Clock::now();
            if (m_options.duration > 0 &&
                now - startedAt > std::chrono::duration<double>(m_options.duration))
                break;
            if (m_hungUpUntil) {
                if (now < *m_hungUpUntil) {
                    sleepUntil(std::min(*m_hungUpUntil, now + std::chrono::milliseconds(100)));
                    continue;
                }
                m_hungUpUntil.reset();
                m_line.open();
                std::fprintf(stderr, "converter-sim: back on %s\n", m_line.path().c_str());
            }
            step();
        }
        m_line.close(true);
        return 0;
    }

private:
    void step()
    {
        if (m_floodUntil && Clock::now() >= *m_floodUntil) {
            std::fprintf(stderr, "converter-sim: flood over, %ld bytes\n", m_flooded);
            m_floodUntil.reset();
        }
        const bool flooding = m_floodUntil.has_value();
        int timeoutMs = 100;
        if (flooding) {
            timeoutMs = 0;
        } else if (!m_pending.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_pending.front().due - Clock::now());
            timeoutMs = static_cast<int>(std::clamp<long>(wait.count(), 0, 100));
        }
        pollfd watch{m_line.descriptor(), POLLIN, 0};
        if (flooding)
            watch.events |= POLLOUT;
        const int ready = ::poll(&watch, 1, timeoutMs);
        if (ready > 0 && (watch.revents & POLLIN))
            readRequests();
        if (ready > 0 && (watch.revents & POLLOUT) && flooding)
            writeFlood();
        if (ready > 0 && (watch.revents & (POLLHUP | POLLERR)) && !(watch.revents & POLLIN))
            sleepUntil(Clock::now() + std::chrono::milliseconds(20));
        writeDue();
    }

    void readRequests()
    {
        std::uint8_t chunk[4096];
        const ssize_t count = ::read(m_line.descriptor(), chunk, sizeof chunk);
        if (count <= 0)
            return;
        for (ssize_t i = 0; i < count; ++i) {
            m_window[0] = m_window[1];
            m_window[1] = m_window[2];
            m_window[2] = m_window[3];
            m_window[3] = chunk[i];
            if (std::equal(std::begin(m_window), std::end(m_window), std::begin(pollRequest)))
                onRequest();
        }
    }

    void onRequest()
    {
        const long request = ++m_requests;
        if (m_log)
            std::fprintf(m_log, "poll %ld %.6f\n", request, monotonicSeconds());

        if (m_options.flood > 0 && request == 1)
            m_floodUntil = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(m_options.flood));
        if (m_options.dropEvery > 0 && request % m_options.dropEvery == 0)
            return;

        sim::UnitState unit = m_options.unit;
        unit.start = m_options.startTime.value_or(utcNow(std::chrono::milliseconds(0)));
        unit.end = m_options.endTime.value_or(utcNow(std::chrono::milliseconds(250)));
        unit.start.source = m_options.unit.start.source;
        unit.end.source = m_options.unit.end.source;

        Bytes reply;
        for (int i = 0; i < m_options.garbage; ++i)
            reply.push_back(static_cast<std::uint8_t>(m_random()));
        const Bytes frame = sim::encodeReply(unit);
        reply.insert(reply.end(), frame.begin(), frame.end());

        if (m_options.hangupAfter > 0 && request == m_options.hangupAfter) {
            // Unplugged halfway through the reply.
            [[maybe_unused]] const ssize_t written =
                ::write(m_line.descriptor(), reply.data(), reply.size() / 2);
            hangUp();
            return;
        }

        const auto first = Clock::now() + std::chrono::milliseconds(m_options.delayMs);
        const std::size_t pieces = std::min<std::size_t>(m_options.pieces, reply.size());
        std::size_t offset = 0;
        for (std::size_t i = 0; i < pieces; ++i) {
            const std::size_t size = reply.size() / pieces + (i < reply.size() % pieces ? 1 : 0);
            m_pending.push_back(
                {first + std::chrono::milliseconds(m_options.gapMs) * static_cast<int>(i),
                 Bytes(reply.begin() + static_cast<std::ptrdiff_t>(offset),
                       reply.begin() + static_cast<std::ptrdiff_t>(offset + size)),
                 i + 1 == pieces ? request : 0});
            offset += size;
        }
        std::stable_sort(m_pending.begin(), m_pending.end(),
                         [](const auto &a, const auto &b) { return a.due < b.due; });
    }

    void writeDue()
    {
        while (!m_pending.empty() && m_pending.front().due <= Clock::now()) {
            PendingWrite &next = m_pending.front();
            const ssize_t written =
                ::write(m_line.descriptor(), next.bytes.data(), next.bytes.size());
            if (written < 0 && errno == EAGAIN)
                return; // the line is full; try again at the next turn
            if (written > 0 && static_cast<std::size_t>(written) < next.bytes.size()) {
                next.bytes.erase(next.bytes.begin(), next.bytes.begin() + written);
                return;
            }
            if (m_log && next.replyNumber > 0)
                std::fprintf(m_log, "reply %ld %.6f\n", next.replyNumber, monotonicSeconds());
            m_pending.erase(m_pending.begin());
        }
    }

    void writeFlood()
    {
        std::uint8_t chunk[4096];
        for (auto &byte : chunk) {
            byte = static_cast<std::uint8_t>(m_random());
            if (byte == 0xFF && !m_options.floodMarks)
                byte = 0xFE;
        }
        if (m_options.floodMarks) {
            for (std::size_t i = 0; i + 1 < sizeof chunk; i += 97) {
                chunk[i] = 0x80;
                chunk[i + 1] = 0xFF;
            }
        }
        const ssize_t written = ::write(m_line.descriptor(), chunk, sizeof chunk);
        if (written > 0)
            m_flooded += written;
    }

    void hangUp()
    {
        std::fprintf(stderr, "converter-sim: hanging up after %ld requests\n", m_requests);
        m_pending.clear();
        // An unplugged adapter takes its /dev/serial/by-id link with it. A link left behind would
        // point at a pty number that the next program to open a pty is given, and a station
        // reopening the port would reach that program's line instead.
        m_line.close(true);
        if (m_options.returnAfter <= 0 || !m_options.device.empty()) {
            m_hungUpUntil = Clock::time_point::max();
            return;
        }
        m_hungUpUntil = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(m_options.returnAfter));
    }

    static void sleepUntil(Clock::time_point when)
    {
        const auto wait = when - Clock::now();
        if (wait > Clock::duration::zero())
            ::usleep(static_cast<useconds_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(wait).count()));
    }

    const Options &m_options;
    Line m_line;
    std::FILE *m_log = nullptr;
    std::uint8_t m_window[4] = {};
    long m_requests = 0;
    std::vector<PendingWrite> m_pending;
    std::optional<Clock::time_point> m_floodUntil;
    std::optional<Clock::time_point> m_hungUpUntil;
    long m_flooded = 0;
    std::minstd_rand m_random{12345};
};

} // namespace

int main(int argc, char **argv)
{
    const Options options = parse(argc, argv);
    struct sigaction action
    {};
    action.sa_handler = requestStop;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A unit whose station harness died has nobody to answer: leave with it rather than linger.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    Unit unit(options);
    return unit.run();
}
