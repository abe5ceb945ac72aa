#include "recordingport.h"

#include "capturefile.h"
#include "report.h"

#include <utility>

namespace check {

RecordingPort::RecordingPort(station::PortController &line) : m_line(line)
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
    writeLine(std::string(capture::captureClosingLine));
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

// Each line reaches the file at once, so a check that is killed leaves a readable capture.
void RecordingPort::writeLine(const std::string &line)
{
    if (!m_file)
        m_waiting.push_back(line);
    else if (!m_failed && !m_file->writeLine(line))
        m_failed = true;
}

double RecordingPort::elapsed() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - *m_firstPoll).count();
}

} // namespace check
