#include "capturefile.h"

#include "terminaltext.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace capture {

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

std::string quoted(const std::string &token)
{
    return "\"" + cli::printable(token, 40) + "\"";
}

// A comment or a reason holds one line whatever a port's name or the system's reason holds.
std::string oneLine(std::string_view text)
{
    std::string line(text);
    for (char &c : line)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return line;
}

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

} // namespace

std::string hexBytes(std::span<const std::uint8_t> bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::string eventLine(double seconds, std::string_view event, std::span<const std::uint8_t> bytes)
{
    return secondsText(seconds) + " " + std::string(event) + " " + hexBytes(bytes);
}

std::string noPollLine(double seconds, std::string_view reason)
{
    return secondsText(seconds) + " nopoll " + oneLine(reason);
}

std::string commentLine(std::string_view text)
{
    return "# " + oneLine(text);
}

void CaptureReader::readLine(std::string_view line)
{
    const int number = ++m_number;
    std::istringstream words{std::string(line)};
    std::string time, event;
    if (!(words >> time) || time.starts_with('#')) {
        if (line == captureClosingLine)
            m_complete = true;
        return;
    }
    m_complete = false;
    char *end = nullptr;
    const double seconds = std::strtod(time.c_str(), &end);
    // A NUL byte ends what strtod reads, so the whole token must have been read.
    if (end != time.c_str() + time.size() || !(seconds >= 0 && seconds <= longestCaptureSeconds))
        badLine(number, "a time in seconds (0 to a year) comes first, not " + quoted(time));
    if (!(words >> event) || (event != "poll" && event != "rx" && event != "nopoll"))
        badLine(number, "the event is poll, nopoll or rx");
    if (event == "nopoll") {
        // A poll the recording check could not send: the unit heard nothing and said nothing.
        m_exchanges.emplace_back();
        m_pollAt = m_lastAt = seconds;
        return;
    }
    std::vector<std::uint8_t> bytes;
    for (std::string hex; words >> hex;) {
        if (hex.size() != 2 || hexDigit(hex[0]) < 0 || hexDigit(hex[1]) < 0)
            badLine(number, "bytes are two hex digits each, not " + quoted(hex));
        bytes.push_back(static_cast<std::uint8_t>(hexDigit(hex[0]) * 16 + hexDigit(hex[1])));
    }
    if (bytes.empty())
        badLine(number, "an event carries its bytes");
    if (event == "poll") {
        m_exchanges.emplace_back();
        m_pollAt = m_lastAt = seconds;
    } else if (!m_exchanges.empty()) {
        if (seconds < m_lastAt)
            badLine(number, "the time goes back to " + time + " s within a poll");
        m_lastAt = seconds;
        const auto after = std::chrono::duration<double>(seconds - m_pollAt);
        m_exchanges.back().push_back(
            {std::chrono::duration_cast<std::chrono::microseconds>(after), std::move(bytes)});
    }
}

std::vector<Exchange> parseRecording(std::string_view text)
{
    CaptureReader reader;
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);)
        reader.readLine(line);
    return reader.takeExchanges();
}

} // namespace capture
