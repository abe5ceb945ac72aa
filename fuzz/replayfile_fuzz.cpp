// Reads a capture for converter-sim --replay from arbitrary bytes. Either it is refused with a
// reason naming a line, or every piece it yields holds bytes and comes at or after its poll and
// the piece before it.

#include "capturefile.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    try {
        for (const capture::Exchange &exchange : capture::parseRecording(text)) {
            std::chrono::microseconds previous{0};
            for (const capture::ReplayPiece &piece : exchange) {
                if (piece.bytes.empty() || piece.afterPoll < previous)
                    std::abort();
                previous = piece.afterPoll;
            }
        }
    } catch (const std::runtime_error &error) {
        if (!std::string_view(error.what()).starts_with("line "))
            std::abort();
    }
    return 0;
}
