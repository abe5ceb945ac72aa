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
// The status is read from positions 3 to this one of the reply with its escapes removed, so a
// reply carries it when, escapes removed, it still holds that many bytes before its end mark.
inline constexpr std::size_t lastStatusPosition = 9;
inline constexpr std::size_t statusReplyBytes = lastStatusPosition + 2;

// A reply starts with 0x80 and a byte other than 0x80 (that would be an escape) or 0xFF (that
// would be an end mark). Frames are cut by when their bytes came, so a tail no longer stands in
// front of a reply; this stays as a second guard against a doubled end mark or noise, after which
// every escape of the rest would be read one place off.
bool hasFrameHead(ByteView received);

// Removes the body escapes of a whole reply. The head always comes out as 0x80 0x01 and the last
// two bytes are copied as they are. An escape just before the end mark swallows the end mark's
// 0x80 as data, so such a reply decodes to ... 0x80 0x80 0xFF; the unit never sends one, and the
// station reads the tags at fixed positions regardless.
Bytes DecodeEscapes(ByteView reply);

// "80 0A 80 FF " for the bytes 80 0A 80 FF: two upper-case digits and one blank per byte.
std::string hexText(ByteView bytes);

} // namespace station
