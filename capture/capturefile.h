#pragma once

// A capture of a unit's line: written by converter-check --record as it polls, read back by
// converter-sim --replay. This module owns the format, both ways; it knows nothing of the
// station's decoding, so the simulated unit can read captures without it.
//
//   # converter-check capture: seconds since the first poll, event, bytes
//   # port /dev/ttyUSB0 opened at 2026-12-09T14:03:07.250Z
//   0.000000 poll 80 FE 80 FF
//   0.031207 rx 80 01 05 01 3F
//   0.500112 nopoll No such file or directory
//   # end of capture
//
// Times are seconds since the first poll; bytes are two upper-case hex digits each, one blank
// between them. "poll" is a poll sent, "rx" a piece of bytes as one read returned it, "nopoll" a
// poll that could not be sent, with the reason. Comments hold the port's name, bytes before the
// first poll and the closing line.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace capture {

// The lines a capture is written in.
inline constexpr std::string_view headerLine =
    "# converter-check capture: seconds since the first poll, event, bytes";
// "0.031207 rx 80 01 05 01 3F" for an event ("poll" or "rx") with its bytes.
std::string eventLine(double seconds, std::string_view event, std::span<const std::uint8_t> bytes);
// "0.500112 nopoll REASON": a poll that could not be sent.
std::string noPollLine(double seconds, std::string_view reason);
// "# TEXT", kept to one line whatever TEXT holds.
std::string commentLine(std::string_view text);
// "80 01 05" for those bytes.
std::string hexBytes(std::span<const std::uint8_t> bytes);

struct ReplayPiece
{
    std::chrono::microseconds afterPoll; // since the poll it followed
    std::vector<std::uint8_t> bytes;
};

// What followed one poll until the next: empty when the poll went unanswered, or could not be
// sent at all ("nopoll": the device was gone).
using Exchange = std::vector<ReplayPiece>;

// The last line of a capture that was written to its end.
inline constexpr std::string_view captureClosingLine = "# end of capture";
// Far more than ten hours of polling; a capture beyond it is refused before it is read.
inline constexpr std::uint64_t captureLimitBytes = 64ull * 1024 * 1024;

// Reads a capture line by line, keeping only the exchanges. Each line is a comment, a blank line,
// "SECONDS poll|rx HEX..." or "SECONDS nopoll REASON"; anything else, and a piece whose time goes
// back before the piece or poll before it, throws std::runtime_error naming the line. Pieces
// before the first poll have no poll to answer and are left out.
class CaptureReader
{
public:
    void readLine(std::string_view line);

    const std::vector<Exchange> &exchanges() const { return m_exchanges; }
    std::vector<Exchange> takeExchanges() { return std::move(m_exchanges); }
    // Whether the capture ended with its closing line, rather than being cut off.
    bool isComplete() const { return m_complete; }

private:
    std::vector<Exchange> m_exchanges;
    int m_number = 0;
    double m_pollAt = 0;
    double m_lastAt = 0;
    bool m_complete = false;
};

std::vector<Exchange> parseRecording(std::string_view text);

} // namespace capture
