#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace cli {

// Text from outside (a port name, a path, a token of a file) as it may reach a terminal: control
// characters, non-characters and bytes that are not UTF-8 escaped as \n, \t or \xHH, and
// characters that show as nothing or reorder the text as \u{202E}; over
// `limit` bytes, shortened in the middle with "...", so that a huge token gives a short message,
// a long path keeps its file name and a message its reason.
std::string printable(std::string_view text, std::size_t limit = 120);

// Text as it may enter a report another program reads: every byte that is not part of a UTF-8
// character, and every non-character (U+FFFE, U+FFFF, ...), replaced by U+FFFD. Controls stay.
std::string wellFormedUtf8(std::string_view text);

// Well-formed UTF-8 with the characters that show as nothing or reorder the text (U+202E,
// U+200B, U+2028, U+FEFF, ...) written as \u{202E}: for a CSV cell or any output a person reads.
std::string visible(std::string_view text);

// The columns a terminal gives the text: a wide (East Asian) character takes two, a combining
// mark none.
std::size_t displayWidth(std::string_view text);

// The characters of well-formed UTF-8 text, not its bytes.
inline std::size_t characterCount(std::string_view text)
{
    std::size_t count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// A JSON string for text from outside: valid UTF-8 whatever came in, controls escaped.
std::string jsonString(std::string_view text);
// "2026-12-09T14:03:07.250Z", as the store and the reports write times.
std::string utcTimestamp(std::chrono::system_clock::time_point at);

// The same, or null for empty text.
std::string optionalJson(std::string_view text);

// Descriptors 0, 1 and 2 that are closed at start are opened on /dev/null, so that no file the
// program opens later takes their place and receives its messages or reports.
void openClosedStandardDescriptors();

} // namespace cli
