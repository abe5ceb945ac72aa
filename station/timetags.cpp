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
std::string timeText(const TimeTag &tag)
{
    return lastDigits(static_cast<unsigned>(tag.hours), 2) + ":" +
           lastDigits(static_cast<unsigned>(tag.minutes), 2) + ":" +
           lastDigits(static_cast<unsigned>(tag.seconds), 2) + "." +
           lastDigits(static_cast<unsigned>(tag.milliseconds), 3);
}

TagSource tagSource(std::uint8_t source)
{
    switch (source) {
    case sourceGps:
        return TagSource::Gps;
    case sourceIrigB:
        return TagSource::IrigB;
    default:
        return TagSource::Internal;
    }
}

// A tag occupies eight decoded positions: source, two unread bytes, hours, minutes, seconds and
// the milliseconds high byte first.
std::optional<TimeTag> readTag(const Bytes &decoded, std::size_t sourcePosition)
{
    // Escapes can leave the decoded reply so short that the tag's last bytes would be the end
    // mark's 0x80 0xFF, which no clock wrote.
    const std::size_t lastPosition = sourcePosition + 7;
    if (decoded.size() < lastPosition + 2)
        return std::nullopt;
    const auto d = [&decoded](std::size_t position) {
        return decoded[position - 1];
    };
    return TimeTag{d(sourcePosition + 3), d(sourcePosition + 4), d(sourcePosition + 5),
                   d(sourcePosition + 6) * 256 + d(sourcePosition + 7),
                   tagSource(d(sourcePosition))};
}

void showTag(const std::optional<TimeTag> &tag, Field field, ResultFields &fields)
{
    if (!tag) {
        fields.setText(field, "");
        return;
    }
    fields.setText(field, timeText(*tag));
    // The source name goes after the time as the field now holds it, read back from the field.
    fields.setText(field, fields.text(field) + std::string(sourceName(tag->source)));
}

} // namespace

std::string_view sourceName(TagSource source)
{
    switch (source) {
    case TagSource::Gps:
        return "   GPS";
    case TagSource::IrigB:
        return "   IRIG-B";
    case TagSource::Internal:
        break;
    }
    return "   Internal";
}

std::string tagText(const TimeTag &tag)
{
    return timeText(tag) + std::string(sourceName(tag.source));
}

TimeTags readTimeTags(ByteView reply)
{
    const Bytes decoded = DecodeEscapes(reply);
    return {readTag(decoded, 10), readTag(decoded, 18)};
}

void showTimeTags(const TimeTags &tags, ResultFields &fields)
{
    showTag(tags.start, Field::lblTimeTagStartData, fields);
    showTag(tags.end, Field::lblTimeTagEndData, fields);
}

void decodeTimeTags(ByteView reply, ResultFields &fields)
{
    showTimeTags(readTimeTags(reply), fields);
}

void blankTimeTags(ResultFields &fields)
{
    fields.setText(Field::lblTimeTagStartData, "");
    fields.setText(Field::lblTimeTagEndData, "");
}

} // namespace station
