// A simulated converter unit on a virtual serial line: answers every status request with a status
// reply built from its options, and can misbehave on request for tests and demonstrations.

#include "capturefile.h"
#include "evidencefile.h"
#include "linespeed.h"
#include "monotonicclock.h"
#include "ptyline.h"
#include "replaycapture.h"
#include "simoptions.h"
#include "terminaltext.h"
#include "unitreply.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <poll.h>
#include <random>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t pollRequest[] = {0x80, 0xFE, 0x80, 0xFF};
// The --log could not be written: EX_IOERR, as converter-check gives for its capture.
constexpr int logFailedStatus = sim::outputFailed;

volatile std::sig_atomic_t stopRequested = 0;
// SIGUSR1 takes the unit out of its fixture, the line staying open; the next puts it back.
volatile std::sig_atomic_t takenOut = 0;

void toggleTakenOut(int)
{
    takenOut = !takenOut;
}

void requestStop(int)
{
    stopRequested = 1;
}

struct PendingWrite
{
    Clock::time_point due;
    Bytes bytes;
    long replyNumber; // logged when this is the last piece of a reply; 0 otherwise
};

class Unit
{
public:
    explicit Unit(const sim::Options &options) : m_options(options), m_line(options)
    {
        if (!options.replay.empty())
            m_replay = sim::loadReplay(options.replay, stopRequested);
        if (!options.log.empty()) {
            if (const auto refused = cli::EvidenceFile::create(options.log, m_log))
                sim::fail("--log " + cli::printable(options.log) + ": " + cli::printable(*refused),
                          sim::fileRefused);
        }
    }

    int run()
    {
        m_line.open();
        std::printf("%s\n", m_line.typeIn().c_str());
        std::fflush(stdout);
        std::fprintf(stderr, "converter-sim: type %s into \"Comm Port\" (device %s)\n",
                     cli::printable(m_line.typeIn()).c_str(),
                     cli::printable(m_line.path()).c_str());

        const auto startedAt = Clock::now();
        while (!stopRequested && m_status == 0) {
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
        if (m_log && m_status == 0 && !m_log->finish())
            logFailed();
        return m_status;
    }

private:
    void step()
    {
        if (m_floodUntil && Clock::now() >= *m_floodUntil) {
            std::fprintf(stderr, "converter-sim: flood over, %ld bytes\n", m_flooded);
            m_floodUntil.reset();
        }
        const bool flooding = m_floodUntil.has_value();
        // To the microsecond: the bytes of a reply are half a millisecond apart.
        long timeoutUs = 100000;
        if (flooding) {
            timeoutUs = 0;
        } else if (!m_pending.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(
                m_pending.front().due - Clock::now());
            timeoutUs = std::clamp<long>(wait.count(), 0, 100000);
        }
        pollfd watch{m_line.descriptor(), POLLIN, 0};
        if (flooding)
            watch.events |= POLLOUT;
        const timespec timeout{timeoutUs / 1000000, (timeoutUs % 1000000) * 1000};
        const int ready = ::ppoll(&watch, 1, &timeout, nullptr);
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

    // Why a real unit would not understand the station now, or nothing when it would. On a pty
    // the master side reads the speed the station set on its side; the pty keeps 8 bits without
    // parity whatever is asked, so only a real --device can tell its framing.
    std::string lineProblem() const
    {
        termios settings{};
        if (::tcgetattr(m_line.descriptor(), &settings) != 0)
            return {};
        const int speed = sim::lineSpeedBitsPerSecond(m_line.descriptor());
        if (speed != sim::Options::lineSpeed)
            return "the line runs at " + std::to_string(speed) + " bit/s, not 19200";
        if (!m_options.device.empty() &&
            ((settings.c_cflag & CSIZE) != CS8 || (settings.c_cflag & (PARENB | CSTOPB)) != 0))
            return "the line is not set to 8 data bits, no parity, 1 stop bit";
        return {};
    }

    // One byte every 10 bits at the line's speed, as a real line carries them: each piece starts
    // when it is due, but no sooner than the byte before it has gone.
    void schedule(Clock::time_point due, const Bytes &bytes, long replyNumber)
    {
        const int speed = sim::lineSpeedBitsPerSecond(m_line.descriptor());
        const auto byteTime = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(10.0 / (speed > 0 ? speed : sim::Options::lineSpeed)));
        if (m_lineFreeAt > due)
            due = m_lineFreeAt;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            m_pending.push_back({due + byteTime * static_cast<int>(i), Bytes{bytes[i]},
                                 i + 1 == bytes.size() ? replyNumber : 0});
        }
        m_lineFreeAt = due + byteTime * static_cast<int>(bytes.size());
    }

    void onRequest()
    {
        const long request = ++m_requests;
        log("poll", request);
        if (takenOut) {
            log("silent", request);
            return;
        }

        if (!m_options.anyLine) {
            const std::string problem = lineProblem();
            if (problem != m_lineProblem && !problem.empty())
                std::fprintf(stderr,
                             "converter-sim: silent: %s; a real unit would not understand the "
                             "poll (--any-line answers all the same)\n",
                             problem.c_str());
            m_lineProblem = problem;
            if (!problem.empty()) {
                log("silent", request);
                return;
            }
        }

        if (!m_options.replay.empty()) {
            replayNext(request);
            return;
        }
        if (m_options.flood > 0 && request == 1)
            m_floodUntil = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(m_options.flood));
        if (m_options.dropEvery > 0 && request % m_options.dropEvery == 0)
            return;

        sim::UnitState unit = m_options.unit;
        unit.start = m_options.startTime.value_or(sim::utcNow(std::chrono::milliseconds(0)));
        unit.end = m_options.endTime.value_or(sim::utcNow(std::chrono::milliseconds(250)));
        unit.start.source = m_options.unit.start.source;
        unit.end.source = m_options.unit.end.source;
        for (std::size_t test = 0; test < unit.linePasses.size(); ++test) {
            const long period = m_options.flapPeriod[test];
            if (period > 0 && (m_replies / period) % 2 == 0)
                unit.linePasses[test] = false;
            if (m_options.faultRate[test] > 0 &&
                std::uniform_real_distribution<double>(0, 1)(m_faults) < m_options.faultRate[test])
                unit.linePasses[test] = false;
        }
        ++m_replies;

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

        const auto first = Clock::now() + std::chrono::microseconds(
                                              std::lround(1000 * m_options.delayMs(request)));
        const std::size_t pieces = std::min<std::size_t>(m_options.pieces, reply.size());
        std::size_t offset = 0;
        for (std::size_t i = 0; i < pieces; ++i) {
            const std::size_t size = reply.size() / pieces + (i < reply.size() % pieces ? 1 : 0);
            schedule(first + std::chrono::milliseconds(m_options.gapMs) * static_cast<int>(i),
                     Bytes(reply.begin() + static_cast<std::ptrdiff_t>(offset),
                           reply.begin() + static_cast<std::ptrdiff_t>(offset + size)),
                     i + 1 == pieces ? request : 0);
            offset += size;
        }
    }

    void log(const char *event, long number)
    {
        if (!m_log || m_status != 0)
            return;
        char line[64];
        std::snprintf(line, sizeof line, "%s %ld %.6f", event, number, monotonicSeconds());
        if (!m_log->writeLine(line))
            logFailed();
    }

    void logFailed()
    {
        std::fprintf(stderr, "converter-sim: --log %s: %s; what was logged until then is in %s\n",
                     cli::printable(m_log->path()).c_str(), m_log->error().c_str(),
                     cli::printable(m_log->partPath()).c_str());
        m_status = logFailedStatus;
    }

    // The next recorded exchange, at the recorded moments after this poll.
    void replayNext(long request)
    {
        if (m_nextExchange == m_replay.size()) {
            if (!m_options.loop) {
                if (!m_replayOver)
                    std::fprintf(stderr,
                                 "converter-sim: the capture is over; polls go unanswered\n");
                m_replayOver = true;
                return;
            }
            m_nextExchange = 0;
        }
        const auto polledAt = Clock::now();
        const capture::Exchange &exchange = m_replay[m_nextExchange++];
        for (std::size_t i = 0; i < exchange.size(); ++i)
            schedule(polledAt + exchange[i].afterPoll, exchange[i].bytes,
                     i + 1 == exchange.size() ? request : 0);
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
            if (next.replyNumber > 0)
                log("reply", next.replyNumber);
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

    const sim::Options &m_options;
    sim::PtyLine m_line;
    std::optional<cli::EvidenceFile> m_log;
    int m_status = 0;
    std::uint8_t m_window[4] = {};
    long m_requests = 0;
    std::string m_lineProblem; // said once until it changes
    Clock::time_point m_lineFreeAt{};
    long m_replies = 0; // built, dropped ones not counted
    std::vector<PendingWrite> m_pending;
    std::optional<Clock::time_point> m_floodUntil;
    std::optional<Clock::time_point> m_hungUpUntil;
    long m_flooded = 0;
    std::minstd_rand m_random{12345};
    std::mt19937 m_faults{m_options.faultSeed};
    std::vector<capture::Exchange> m_replay;
    std::size_t m_nextExchange = 0;
    bool m_replayOver = false;
};

} // namespace

int main(int argc, char **argv)
{
    cli::openClosedStandardDescriptors();
    const sim::Options options = sim::parseOptions(argc, argv);
    struct sigaction action
    {};
    action.sa_handler = requestStop;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    action.sa_handler = toggleTakenOut;
    ::sigaction(SIGUSR1, &action, nullptr);
    // A unit whose station harness died has nobody to answer: leave with it rather than linger.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    Unit unit(options);
    return unit.run();
}
