// Reads a protocol description from arbitrary bytes. Either the reading fails (the start-up
// message), or every entry 0-255 holds a name: "Unknown Protocol", or a single-line text that
// stands in the file.

#include "protocolfile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char *>(data), size);
    station::ProtocolNames table;
    table.fill(std::string(station::unknownProtocol));
    if (!station::readProtocolRecords(content, table))
        return 0;
    for (const std::string &name : table) {
        if (name == station::unknownProtocol)
            continue;
        if (name.find_first_of("\r\n") != std::string::npos ||
            content.find(name) == std::string_view::npos)
            std::abort();
    }
    return 0;
}
