#pragma once

// A capture of the line: every poll sent and every piece of bytes received, with its time since
// the first poll, one event a line, written through to the file as it happens.
//
//   # comment
//   0.000000 poll 80 FE 80 FF
//   0.031207 rx 80 01 05 01 3F
//
// Times are seconds since the first poll; bytes are two upper-case hex digits each, one blank
// between them. "poll" is a poll sent, "rx" a piece of bytes as one read returned it. What is
// not an event (the port's name, a failed send, bytes before the first poll) is a comment.

#include "portcontroller.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

namespace check {

class RecordingPort : public station::PortController
{
public:
    // Writes to `file`, which stays the caller's to close.
    RecordingPort(station::PortController &line, std::FILE *file);

    station::PortResult SetSpeed(int bitsPerSecond) override;
    station::PortResult OpenPort(const std::string &name) override;
    station::PortResult ClosePort() override;
    station::PortResult SendData(station::ByteView bytes) override;
    station::PortResult ReadData(station::Bytes &received) override;

private:
    void writeLine(const std::string &line);
    std::string elapsed() const;

    station::PortController &m_line;
    std::FILE *m_file;
    std::optional<std::chrono::steady_clock::time_point> m_firstPoll;
};

} // namespace check
