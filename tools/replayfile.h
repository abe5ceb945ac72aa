#pragma once

// A capture of a unit's line written by converter-check --record, read back for replaying:
// each poll with the pieces of bytes that followed it, and when each piece came.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

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

} // namespace sim
