#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace cli {

// The SHA-256 of the bytes, as 64 lower-case hexadecimal digits: which protocol list a run used.
std::string sha256Hex(std::span<const std::uint8_t> bytes);

} // namespace cli
