#include "inputfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

std::variant<InputFile, std::string> openInputFile(const std::string &path,
                                                   std::uint64_t limitBytes)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return std::string(std::strerror(errno));
    struct stat status
    {};
    std::string refused;
    if (::fstat(descriptor, &status) != 0)
        refused = std::strerror(errno);
    else if (S_ISDIR(status.st_mode))
        refused = "a directory, not a file";
    else if (!S_ISREG(status.st_mode))
        refused = "not a regular file (a FIFO, a device or a socket is not read)";
    else if (static_cast<std::uint64_t>(status.st_size) > limitBytes)
        refused = "larger than " + (limitBytes % (1024 * 1024)
                                        ? std::to_string(limitBytes / 1024) + " KiB"
                                        : std::to_string(limitBytes / (1024 * 1024)) + " MiB");
    if (refused.empty() && ::fcntl(descriptor, F_SETFL, 0) != 0)
        refused = std::strerror(errno);
    std::FILE *file = refused.empty() ? ::fdopen(descriptor, "r") : nullptr;
    if (!file) {
        if (refused.empty())
            refused = std::strerror(errno);
        ::close(descriptor);
        return refused;
    }
    return InputFile(file);
}

} // namespace cli
