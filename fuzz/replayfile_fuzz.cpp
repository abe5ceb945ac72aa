// Reads a capture for converter-sim --replay from arbitrary bytes. Either it is refused with a
// reason naming a line, or every piece it yields holds bytes and comes at or after its poll.

#include "replayfile.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    try {
        for (const sim::Exchange &exchange : sim::parseRecording(text)) {
            for (const sim::ReplayPiece &piece : exchange) {
                if (piece.bytes.empty() || piece.afterPoll.count() < 0)
                    std::abort();
            }
        }
    } catch (const std::runtime_error &error) {
        if (!std::string_view(error.what()).starts_with("line "))
            std::abort();
    }
    return 0;
}
