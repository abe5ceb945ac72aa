#include "replayfile.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace sim {

namespace {

// Far longer than any capture; and far inside what a count of microseconds holds.
constexpr double longestCaptureSeconds = 366.0 * 24 * 3600;

[[noreturn]] void badLine(int number, const std::string &why)
{
    throw std::runtime_error("line " + std::to_string(number) + ": " + why);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::vector<Exchange> parseRecording(std::string_view text)
{
    std::vector<Exchange> exchanges;
    double pollAt = 0;
    std::istringstream lines{std::string(text)};
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::istringstream words(line);
        std::string time, event;
        if (!(words >> time) || time.starts_with('#'))
            continue;
        char *end = nullptr;
        const double seconds = std::strtod(time.c_str(), &end);
        if (*end != '\0' || !(seconds >= 0 && seconds <= longestCaptureSeconds))
            badLine(number, "a time in seconds (0 to a year) comes first, not \"" + time + "\"");
        if (!(words >> event) || (event != "poll" && event != "rx"))
            badLine(number, "the event is poll or rx");
        std::vector<std::uint8_t> bytes;
        for (std::string hex; words >> hex;) {
            if (hex.size() != 2 || hexDigit(hex[0]) < 0 || hexDigit(hex[1]) < 0)
                badLine(number, "bytes are two hex digits each, not \"" + hex + "\"");
            bytes.push_back(static_cast<std::uint8_t>(hexDigit(hex[0]) * 16 + hexDigit(hex[1])));
        }
        if (bytes.empty())
            badLine(number, "an event carries its bytes");
        if (event == "poll") {
            exchanges.emplace_back();
            pollAt = seconds;
        } else if (!exchanges.empty()) {
            const auto after = std::chrono::duration<double>(std::max(0.0, seconds - pollAt));
            exchanges.back().push_back(
                {std::chrono::duration_cast<std::chrono::microseconds>(after), std::move(bytes)});
        }
    }
    return exchanges;
}

} // namespace sim
