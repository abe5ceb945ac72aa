#include "replaycapture.h"

#include "inputfile.h"
#include "simoptions.h"
#include "terminaltext.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace sim {

// Read as a stream, keeping only the exchanges; a signal ends the reading as promptly as it ends
// the rest.
std::vector<capture::Exchange> loadReplay(const std::string &path,
                                          const volatile std::sig_atomic_t &stop)
{
    const std::string name = "--replay " + cli::printable(path);
    auto opened = cli::openInputFile(path, capture::captureLimitBytes);
    if (const auto *refused = std::get_if<std::string>(&opened))
        sim::fail(name + ": " + *refused);
    std::FILE *file = std::get<cli::InputFile>(opened).get();
    capture::CaptureReader reader;
    char *line = nullptr;
    std::size_t capacity = 0;
    std::uint64_t total = 0;
    ssize_t length = 0;
    while (!stop && (length = ::getline(&line, &capacity, file)) > 0) {
        total += static_cast<std::uint64_t>(length);
        if (total > capture::captureLimitBytes)
            break; // the file grew while it was read
        std::string_view text(line, static_cast<std::size_t>(length));
        if (text.ends_with('\n'))
            text.remove_suffix(1);
        try {
            reader.readLine(text);
        } catch (const std::exception &error) {
            std::free(line);
            sim::fail(name + ": " + error.what());
        }
    }
    const bool unreadable = std::ferror(file) != 0;
    std::free(line);
    if (stop)
        std::exit(0);
    if (total > capture::captureLimitBytes)
        sim::fail(name + ": it grew beyond " + std::to_string(capture::captureLimitBytes >> 20) +
                  " MiB while it was read");
    if (unreadable)
        sim::fail(name + ": " + std::strerror(errno));
    std::vector<capture::Exchange> replay = reader.takeExchanges();
    if (replay.empty())
        sim::fail(name + ": the capture holds no polls");
    if (!reader.isComplete())
        std::fprintf(stderr,
                     "converter-sim: %s: no closing line: the capture was cut short, and "
                     "its last poll may miss its reply\n",
                     name.c_str());
    return replay;
}

} // namespace sim
