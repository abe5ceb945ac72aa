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

// What followed one poll until the next: empty when the poll went unanswered.
using Exchange = std::vector<ReplayPiece>;

// Reads a capture's text. Throws std::runtime_error naming the line on anything that is not a
// comment, a blank line, or "SECONDS poll|rx HEX...". Pieces before the first poll have no poll
// to answer and are left out.
std::vector<Exchange> parseRecording(std::string_view text);

} // namespace sim
