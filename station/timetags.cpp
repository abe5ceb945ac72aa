#include "timetags.h"

#include <cstdint>
#include <string>

namespace station {

namespace {

constexpr std::uint8_t sourceGps = 0x82;
constexpr std::uint8_t sourceIrigB = 0x84;

std::string lastDigits(unsigned value, std::size_t count)
{
    const std::string padded = std::string(count, '0') + std::to_string(value);
    return padded.substr(padded.size() - count);
}

// "07:05:09.042" for 7 h 5 min 9 s 42 ms. Each part keeps only its last two (milliseconds:
// three) decimal digits, so out-of-range values are shown cut, never checked.
std::string timeText(std::uint8_t hours, std::uint8_t minutes, std::uint8_t seconds,
                     std::uint16_t milliseconds)
{
    return lastDigits(hours, 2) + ":" + lastDigits(minutes, 2) + ":" + lastDigits(seconds, 2) +
           "." + lastDigits(milliseconds, 3);
}

std::string_view sourceName(std::uint8_t source)
{
    switch (source) {
    case sourceGps:
        return "   GPS";
    case sourceIrigB:
        return "   IRIG-B";
    default:
        return "   Internal";
    }
}

// A tag occupies eight decoded positions: source, two unread bytes, hours, minutes, seconds and
// the milliseconds high byte first.
void showTag(const Bytes &decoded, std::size_t sourcePosition, Field field, ResultFields &fields)
{
    // Escapes can leave the decoded reply so short that the tag's last bytes would be the end
    // mark's 0x80 0xFF, which no clock wrote.
    const std::size_t lastPosition = sourcePosition + 7;
    if (decoded.size() < lastPosition + 2) {
        fields.setText(field, "");
        return;
    }
    const auto d = [&decoded](std::size_t position) {
        return decoded[position - 1];
    };
    const auto milliseconds =
        static_cast<std::uint16_t>(d(sourcePosition + 6) * 256 + d(sourcePosition + 7));
    fields.setText(field, timeText(d(sourcePosition + 3), d(sourcePosition + 4),
                                   d(sourcePosition + 5), milliseconds));
    // The source name goes after the time as the field now holds it, read back from the field.
    fields.setText(field, fields.text(field) + std::string(sourceName(d(sourcePosition))));
}

} // namespace

void decodeTimeTags(ByteView reply, ResultFields &fields)
{
    const Bytes decoded = DecodeEscapes(reply);
    showTag(decoded, 10, Field::lblTimeTagStartData, fields);
    showTag(decoded, 18, Field::lblTimeTagEndData, fields);
}

void blankTimeTags(ResultFields &fields)
{
    fields.setText(Field::lblTimeTagStartData, "");
    fields.setText(Field::lblTimeTagEndData, "");
}

} // namespace station
