#include "recordingport.h"

#include "replayfile.h"
#include "report.h"

#include <utility>

namespace check {

namespace {

std::string hexBytes(station::ByteView bytes)
{
    std::string text = station::hexText(bytes);
    if (!text.empty())
        text.pop_back(); // the blank after the last byte
    return text;
}

// A comment holds one line whatever a port's name or the system's reason holds.
std::string oneLine(std::string text)
{
    for (char &c : text) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return text;
}

} // namespace

RecordingPort::RecordingPort(station::PortController &line) : m_line(line)
{
    writeLine("# converter-check capture: seconds since the first poll, event, bytes");
}

void RecordingPort::attach(cli::EvidenceFile &file)
{
    m_file = &file;
    for (const std::string &line : std::exchange(m_waiting, {}))
        writeLine(line);
}

bool RecordingPort::finish()
{
    if (!m_file)
        return false;
    writeLine(std::string(sim::captureClosingLine));
    return !m_failed && m_file->finish();
}

station::PortResult RecordingPort::SetSpeed(int bitsPerSecond)
{
    return m_line.SetSpeed(bitsPerSecond);
}

station::PortResult RecordingPort::OpenPort(const std::string &name)
{
    const station::PortResult result = m_line.OpenPort(name);
    writeLine("# port " + oneLine(name) + (result.isOk() ? " opened at " : " not opened at ") +
              utcTimestamp(std::chrono::system_clock::now()) +
              (result.isOk() ? "" : ": " + oneLine(result.reason())));
    return result;
}

station::PortResult RecordingPort::ClosePort()
{
    const station::PortResult result = m_line.ClosePort();
    writeLine("# port closed");
    return result;
}

station::PortResult RecordingPort::SendData(station::ByteView bytes)
{
    if (!m_firstPoll)
        m_firstPoll = std::chrono::steady_clock::now();
    const std::string at = elapsed();
    const station::PortResult result = m_line.SendData(bytes);
    if (result.isOk())
        writeLine(at + " poll " + hexBytes(bytes));
    else
        writeLine(at + " nopoll " + oneLine(result.reason()));
    return result;
}

station::PortResult RecordingPort::ReadData(station::Bytes &received)
{
    const station::PortResult result = m_line.ReadData(received);
    if (result.isOk() && !received.empty()) {
        if (m_firstPoll)
            writeLine(elapsed() + " rx " + hexBytes(received));
        else
            writeLine("# before the first poll: rx " + hexBytes(received));
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

std::string RecordingPort::elapsed() const
{
    const std::chrono::duration<double> since = std::chrono::steady_clock::now() - *m_firstPoll;
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", since.count());
    return text;
}

} // namespace check
