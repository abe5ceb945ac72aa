#include "recordingport.h"

#include "capturefile.h"
#include "report.h"

#include <cstdio>
#include <utility>

namespace engine {

RecordingPort::RecordingPort(station::PortController &line, std::uint64_t limitBytes)
    : m_line(line), m_limitBytes(limitBytes)
{
    writeLine(std::string(capture::headerLine));
}

void RecordingPort::attach(cli::EvidenceFile &file)
{
    m_file = &file;
    for (const std::string &line : std::exchange(m_waiting, {}))
        writeLine(line);
}

void RecordingPort::describe(const std::vector<std::string> &facts)
{
    for (const std::string &fact : facts)
        writeLine(capture::commentLine(fact));
}

bool RecordingPort::finish()
{
    if (!m_file)
        return false;
    put(std::string(capture::captureClosingLine));
    return !m_failed && m_file->finish();
}

station::PortResult RecordingPort::SetSpeed(int bitsPerSecond)
{
    return m_line.SetSpeed(bitsPerSecond);
}

station::PortResult RecordingPort::OpenPort(const std::string &name)
{
    const station::PortResult result = m_line.OpenPort(name);
    writeLine(capture::commentLine("port " + name +
                                   (result.isOk() ? " opened at " : " not opened at ") +
                                   utcTimestamp(std::chrono::system_clock::now()) +
                                   (result.isOk() ? "" : ": " + result.reason())));
    return result;
}

station::PortResult RecordingPort::ClosePort()
{
    const station::PortResult result = m_line.ClosePort();
    writeLine(capture::commentLine("port closed"));
    return result;
}

station::PortResult RecordingPort::SendData(station::ByteView bytes)
{
    if (!m_firstPoll)
        m_firstPoll = std::chrono::steady_clock::now();
    const double at = elapsed();
    const station::PortResult result = m_line.SendData(bytes);
    writeLine(result.isOk() ? capture::eventLine(at, "poll", bytes)
                            : capture::noPollLine(at, result.reason()));
    return result;
}

station::PortResult RecordingPort::ReadData(station::Bytes &received)
{
    const station::PortResult result = m_line.ReadData(received);
    if (result.isOk() && !received.empty()) {
        if (m_firstPoll)
            writeLine(capture::eventLine(elapsed(), "rx", received));
        else
            writeLine(
                capture::commentLine("before the first poll: rx " + capture::hexBytes(received)));
    }
    return result;
}

// A flooding unit would fill a disk, and a replay reads no more than the limit: the capture stops
// short of it, room left for the lines that say so and close it, and stays replayable.
void RecordingPort::writeLine(const std::string &line)
{
    constexpr std::uint64_t closingRoomBytes = 256;
    if (m_stoppedAt)
        return;
    if (m_written + line.size() + 1 + closingRoomBytes > m_limitBytes) {
        m_stoppedAt = m_firstPoll ? elapsed() : 0.0;
        char when[32];
        std::snprintf(when, sizeof when, "%.6f", *m_stoppedAt);
        put(capture::commentLine("recording stopped at " + std::string(when) +
                                 " s: a replay reads no more than this"));
        return;
    }
    put(line);
}

// Each line reaches the file at once, so a check that is killed leaves a readable capture.
void RecordingPort::put(const std::string &line)
{
    m_written += line.size() + 1;
    if (!m_file)
        m_waiting.push_back(line);
    else if (!m_failed && !m_file->writeLine(line))
        m_failed = true;
}

double RecordingPort::elapsed() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - *m_firstPoll).count();
}

} // namespace engine
