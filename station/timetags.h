#pragma once

#include "frames.h"
#include "window.h"

#include <cstdint>
#include <string>

namespace station {

// "07:05:09.042" for 7 h 5 min 9 s 42 ms. Each part keeps only its last two (milliseconds:
// three) decimal digits, so out-of-range values are shown cut, never checked.
std::string timeText(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds,
                     std::uint16_t milliseconds);

std::string_view sourceName(std::uint8_t source);

// Decodes the start and end time tags of a complete reply of more than 26 bytes. The tags are
// read from the reply with escapes removed; a tag whose bytes the decoded reply does not reach is
// shown empty.
void decodeTimeTags(ByteView reply, ResultFields &fields);

} // namespace station
