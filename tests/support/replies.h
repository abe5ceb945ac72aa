#pragma once

#include "frames.h"

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <utility>

namespace support {

// A reply of `length` bytes as received: head 80 01, zero body bytes except those given by
// position (counted from 1), end mark 80 FF. The caller keeps 0x80 out of the body or escapes it.
inline station::Bytes replyWith(std::initializer_list<std::pair<int, std::uint8_t>> bytes,
                                std::size_t length = 27)
{
    station::Bytes reply(length, 0x00);
    reply[0] = 0x80;
    reply[1] = 0x01;
    for (const auto &[position, value] : bytes) {
        if (static_cast<std::size_t>(position) <= length - 2) // a short reply drops the rest
            reply[static_cast<std::size_t>(position - 1)] = value;
    }
    reply[length - 2] = 0x80;
    reply[length - 1] = 0xFF;
    return reply;
}

// The bytes of "80 01 05": two hexadecimal digits a byte, blanks between.
inline station::Bytes hexBytes(const char *text)
{
    station::Bytes bytes;
    for (char *end = nullptr;; text = end) {
        const unsigned long value = std::strtoul(text, &end, 16);
        if (end == text)
            return bytes;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
}

// A healthy reply: protocol 5, version 7, both TS modes off, every line test passing, start tag
// 12:34:56.500 from GPS, end tag 01:02:03.004 from IRIG-B.
inline station::Bytes healthyReply()
{
    return replyWith({{3, 0x05},
                      {4, 0x07},
                      {5, 0x10},
                      {6, 0x08},
                      {7, 0x02},
                      {8, 0x01},
                      {9, 0x20},
                      {10, 0x82},
                      {13, 12},
                      {14, 34},
                      {15, 56},
                      {16, 0x01},
                      {17, 0xF4},
                      {18, 0x84},
                      {21, 1},
                      {22, 2},
                      {23, 3},
                      {24, 0},
                      {25, 4}});
}

} // namespace support
