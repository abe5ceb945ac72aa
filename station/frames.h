#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace station {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// The status request is the same four bytes at every poll.
inline constexpr std::array<std::uint8_t, 4> PollRequest{0x80, 0xFE, 0x80, 0xFF};

inline constexpr std::uint8_t escapeByte = 0x80;
inline constexpr std::uint8_t endByte = 0xFF;

// A reply without escapes that carries every field: head, body positions 3 to 25, end mark.
inline constexpr std::size_t unescapedReplyBytes = 27;
// Complete replies longer than these, counted as received, are decoded for their status and for
// their time tags.
inline constexpr std::size_t statusThresholdBytes = 9;
inline constexpr std::size_t timeTagThresholdBytes = unescapedReplyBytes - 1;
// The status is read from positions 3 to this one of the reply with its escapes removed.
inline constexpr std::size_t lastStatusPosition = 9;

enum class ReplyEnd {
    NoEnd,       // two bytes or fewer, or the last byte is not 0xFF
    EndByteOnly, // ends in 0xFF, but not in the end mark 0x80 0xFF
    Complete,    // ends in the end mark 0x80 0xFF
};

// A data byte 0x80 travels as 80 80, so a data 0x80 followed by a data 0xFF arrives as 80 80 FF:
// its last two bytes look like the end mark, but the 0x80 is the escape's data byte. A buffer
// that ends there is not complete; its 0xFF is a data byte, as in any other EndByteOnly.
ReplyEnd replyEnd(ByteView received);

// How many times the buffer, read from its first byte as it grew, ended complete: the number of
// replies it holds.
std::size_t completeEndCount(ByteView received);

// A reply starts with 0x80 and a byte other than 0x80 (that would be an escape) or 0xFF (that
// would be an end mark: a reply cut off by the tick just before its last two bytes leaves them
// in front of the next one). Noise before the head, or the tail of a reply, does not.
bool hasFrameHead(ByteView received);

// Removes the body escapes of a whole reply. The head always comes out as 0x80 0x01 and the last
// two bytes are copied as they are. An escape just before the end mark swallows the end mark's
// 0x80 as data, so such a reply decodes to ... 0x80 0x80 0xFF; the unit never sends one, and the
// station reads the tags at fixed positions regardless.
Bytes DecodeEscapes(ByteView reply);

// "80 0A 80 FF " for the bytes 80 0A 80 FF: two upper-case digits and one blank per byte.
std::string hexText(ByteView bytes);

} // namespace station
