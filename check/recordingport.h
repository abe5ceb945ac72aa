#pragma once

// A capture of the line (capturefile.h has its format): every poll sent and every piece of bytes
// received, with its time since the first poll, one event a line, written through to the file as
// it happens.

#include "evidencefile.h"
#include "portcontroller.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace check {

class RecordingPort : public station::PortController
{
public:
    explicit RecordingPort(station::PortController &line);

    // The file is created only once the port is open, so the lines until then wait here.
    void attach(cli::EvidenceFile &file);
    // Comment lines that say whose capture this is: "run ID", "unit SN-7", ...
    void describe(const std::vector<std::string> &facts);
    // Whether a line could not be written; the file's error() tells why.
    bool hasFailed() const { return m_failed; }
    // Writes the closing line and puts the file in place.
    bool finish();

    station::PortResult SetSpeed(int bitsPerSecond) override;
    station::PortResult OpenPort(const std::string &name) override;
    station::PortResult ClosePort() override;
    station::PortResult SendData(station::ByteView bytes) override;
    station::PortResult ReadData(station::Bytes &received) override;

private:
    void writeLine(const std::string &line);
    double elapsed() const; // seconds since the first poll

    station::PortController &m_line;
    cli::EvidenceFile *m_file = nullptr;
    std::vector<std::string> m_waiting;
    bool m_failed = false;
    std::optional<std::chrono::steady_clock::time_point> m_firstPoll;
};

} // namespace check
