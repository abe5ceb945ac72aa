#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <variant>

namespace cli {

struct FileCloser
{
    void operator()(std::FILE *file) const { std::fclose(file); }
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file the program reads: a regular file of at most `limitBytes`. Anything else (a
// directory, a FIFO, a device, an endless stream) is refused with the reason before a byte is
// read, and opening never waits for a FIFO's writer.
std::variant<InputFile, std::string> openInputFile(const std::string &path,
                                                   std::uint64_t limitBytes);

} // namespace cli
