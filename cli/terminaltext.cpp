#include "terminaltext.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 if there is none. The C1
// controls (U+0080 to U+009F) count as not well-formed: some terminals act on them.
std::size_t utf8SequenceLength(std::string_view text)
{
    const auto byte = [&text](std::size_t i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0xA0;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    unsigned code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    // Non-characters are for a program's own use, never for text it exchanges: XML refuses them.
    const bool nonCharacter = (code >= 0xFDD0 && code <= 0xFDEF) || (code & 0xFFFE) == 0xFFFE;
    return code >= minimum && code <= 0x10FFFF && !surrogate && !nonCharacter ? length : 0;
}

// The code point of a well-formed sequence of `length` bytes.
unsigned codeOf(std::string_view text, std::size_t length)
{
    unsigned code = static_cast<unsigned char>(text[0]) & (0x7F >> (length == 1 ? 0 : length));
    for (std::size_t i = 1; i < length; ++i)
        code = (code << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
    return code;
}

// Characters that show as nothing, or reorder or break the text around them: two ids that
// differ only by one look the same. Shown as \u{XXXX}.
bool isHidden(unsigned code)
{
    return code == 0x061C || code == 0x00AD || (code >= 0x200B && code <= 0x200F) ||
           (code >= 0x2028 && code <= 0x202E) || (code >= 0x2060 && code <= 0x2069) ||
           code == 0xFEFF;
}

std::string hiddenEscape(unsigned code)
{
    char text[16];
    std::snprintf(text, sizeof text, "\\u{%04X}", code);
    return text;
}

// East Asian wide and fullwidth characters take two columns of a terminal.
bool isWide(unsigned code)
{
    return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
           (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
           (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
           (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x1F300 && code <= 0x1FAFF) ||
           (code >= 0x20000 && code <= 0x3FFFD);
}

} // namespace

std::string visible(std::string_view raw)
{
    const std::string text = wellFormedUtf8(raw);
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80 ? 1 : utf8SequenceLength(text.substr(i));
        const unsigned code = codeOf(text.substr(i), length);
        out += isHidden(code) ? hiddenEscape(code) : text.substr(i, length);
        i += length;
    }
    return out;
}

std::size_t displayWidth(std::string_view text)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80 ? 1 : utf8SequenceLength(text.substr(i));
        if (length == 0) {
            ++width;
            ++i;
            continue;
        }
        const unsigned code = codeOf(text.substr(i), length);
        // Combining marks take no column of their own.
        width += (code >= 0x0300 && code <= 0x036F) ? 0 : isWide(code) ? 2 : 1;
        i += length;
    }
    return width;
}

std::string wellFormedUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = byte < 0x80 ? 1 : utf8SequenceLength(text.substr(i));
        if (length == 0) {
            // One U+FFFD for a whole sequence that is well formed but no character, or for the
            // part of a sequence that is there.
            const std::size_t wanted = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
            std::size_t skip = 1;
            while (skip < wanted && i + skip < text.size() &&
                   (static_cast<unsigned char>(text[i + skip]) & 0xC0) == 0x80)
                ++skip;
            out += "\xEF\xBF\xBD";
            i += skip;
            continue;
        }
        out += text.substr(i, length);
        i += length;
    }
    return out;
}

namespace {

// The bytes of `text` up to `limit` as a terminal may show them.
std::string escaped(std::string_view text, std::size_t limit)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size() && i < limit) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            out += text[i++];
            continue;
        }
        if (const std::size_t length = byte >= 0x80 ? utf8SequenceLength(text.substr(i)) : 0) {
            const unsigned code = codeOf(text.substr(i), length);
            out += isHidden(code) ? hiddenEscape(code) : std::string(text.substr(i, length));
            i += length;
            continue;
        }
        char code[8];
        if (byte == '\n')
            out += "\\n";
        else if (byte == '\t')
            out += "\\t";
        else {
            std::snprintf(code, sizeof code, "\\x%02X", byte);
            out += code;
        }
        ++i;
    }
    return out;
}

} // namespace

// Shortened in the middle: a path keeps its file name, and a message its reason.
std::string printable(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit)
        return escaped(text, limit);
    std::size_t tail = text.size() - limit / 2;
    while (tail < text.size() && (static_cast<unsigned char>(text[tail]) & 0xC0) == 0x80)
        ++tail; // never from the middle of a character
    return escaped(text, limit / 2) + "..." + escaped(text.substr(tail), limit);
}

void openClosedStandardDescriptors()
{
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is the closed one.
        const int opened = ::open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened != descriptor && opened >= 0)
            ::close(opened);
    }
}

// Valid UTF-8 whatever came in.
std::string jsonString(std::string_view raw)
{
    const std::string text = wellFormedUtf8(raw);
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string optionalJson(std::string_view text)
{
    return text.empty() ? "null" : jsonString(text);
}

std::string utcTimestamp(std::chrono::system_clock::time_point at)
{
    const auto sinceEpoch = at.time_since_epoch();
    const std::time_t seconds =
        std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch).count();
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(milliseconds));
    return text;
}

} // namespace cli
