#pragma once

// A capture of the line (capturefile.h has its format): every poll sent and every piece of bytes
// received, with its time since the first poll, one event a line, written through to the file as
// it happens.

#include "capturefile.h"
#include "evidencefile.h"
#include "portcontroller.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace engine {

class RecordingPort : public station::PortController
{
public:
    // `limitBytes`: the most a replay reads; the capture stops short of it.
    explicit RecordingPort(station::PortController &line,
                           std::uint64_t limitBytes = capture::captureLimitBytes);

    // The file is created only once the port is open, so the lines until then wait here.
    void attach(cli::EvidenceFile &file);
    // Comment lines that say whose capture this is: "run ID", "unit SN-7", ...
    void describe(const std::vector<std::string> &facts);
    // Whether a line could not be written; the file's error() tells why.
    bool hasFailed() const { return m_failed; }
    // Whether recording stopped at the limit, and when (seconds since the first poll).
    std::optional<double> stoppedAt() const { return m_stoppedAt; }
    // Writes the closing line and puts the file in place.
    bool finish();

    station::PortResult SetSpeed(int bitsPerSecond) override;
    station::PortResult OpenPort(const std::string &name) override;
    station::PortResult ClosePort() override;
    station::PortResult SendData(station::ByteView bytes) override;
    station::PortResult ReadData(station::Bytes &received) override;

private:
    void writeLine(const std::string &line);
    void put(const std::string &line);
    double elapsed() const; // seconds since the first poll

    station::PortController &m_line;
    cli::EvidenceFile *m_file = nullptr;
    std::vector<std::string> m_waiting;
    bool m_failed = false;
    std::uint64_t m_limitBytes;
    std::uint64_t m_written = 0;
    std::optional<double> m_stoppedAt;
    std::optional<std::chrono::steady_clock::time_point> m_firstPoll;
};

} // namespace engine
