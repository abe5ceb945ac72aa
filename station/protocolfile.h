#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace station {

using ProtocolNames = std::array<std::string, 256>;

inline constexpr std::string_view unknownProtocol = "Unknown Protocol";
inline constexpr std::string_view protocolFileName = "Protocol.txt";

// Anything bigger is not a list of at most 256 names; refusing it keeps start-up quick.
inline constexpr std::uintmax_t protocolFileLimitBytes = 16 * 1024 * 1024;

// Applies the records of a protocol description in file order: a number 0-255 and a name, the
// fields separated by commas or line ends. Returns false at the first bad record; the records
// before it stay applied, as an operator would expect from a file that is wrong halfway down.
// `problem`, when given, is told where: "malformed at line 3".
bool readProtocolRecords(std::string_view content, ProtocolNames &table,
                         std::string *problem = nullptr);

// Reads the file at `path`; a missing, unreadable or oversized file, or anything that is not a
// regular file, is a failure and leaves the table untouched. `problem`, when given, is told why:
// the system's reason, or what is wrong with the file.
bool readProtocolFile(const std::filesystem::path &path, ProtocolNames &table,
                      std::string *problem = nullptr);

} // namespace station
