#include "frames.h"

namespace station {

bool hasFrameHead(ByteView received)
{
    return received.size() >= 2 && received[0] == escapeByte && received[1] != escapeByte &&
           received[1] != endByte;
}

Bytes DecodeEscapes(ByteView reply)
{
    Bytes decoded;
    decoded.reserve(reply.size() + 2);
    decoded.push_back(0x80);
    decoded.push_back(0x01);

    // Positions run from 1 as in the frame description; the bound is fixed once before the loop.
    // With i <= L-2 the escape step moves i to at most L-1, so reply[i - 1] is always in range.
    const std::size_t length = reply.size();
    if (length >= 4) {
        const std::size_t bound = length - 2;
        for (std::size_t i = 3; i <= bound; ++i) {
            if (reply[i - 1] == escapeByte)
                ++i;
            decoded.push_back(reply[i - 1]);
        }
    }

    const auto tail = reply.size() < 2 ? reply : reply.last(2);
    decoded.insert(decoded.end(), tail.begin(), tail.end());
    return decoded;
}

std::string hexText(ByteView bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text(bytes.size() * 3, ' ');
    char *out = text.data();
    for (const std::uint8_t byte : bytes) {
        out[0] = digits[byte >> 4];
        out[1] = digits[byte & 0x0F];
        out += 3;
    }
    return text;
}

} // namespace station
