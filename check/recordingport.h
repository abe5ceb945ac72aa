#pragma once

// A capture of the line: every poll sent and every piece of bytes received, with its time since
// the first poll, one event a line, written through to the file as it happens.
//
//   # comment
//   0.000000 poll 80 FE 80 FF
//   0.031207 rx 80 01 05 01 3F
//   0.500112 nopoll No such file or directory
//   # end of capture
//
// Times are seconds since the first poll; bytes are two upper-case hex digits each, one blank
// between them. "poll" is a poll sent, "rx" a piece of bytes as one read returned it, "nopoll" a
// poll that could not be sent, with the reason. The port's name, bytes before the first poll and
// the closing line are comments.

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
    std::string elapsed() const;

    station::PortController &m_line;
    cli::EvidenceFile *m_file = nullptr;
    std::vector<std::string> m_waiting;
    bool m_failed = false;
    std::optional<std::chrono::steady_clock::time_point> m_firstPoll;
};

} // namespace check
