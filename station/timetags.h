#pragma once

#include "decisions.h"
#include "frames.h"
#include "window.h"

#include <optional>
#include <string>

namespace station {

struct TimeTags
{
    std::optional<TimeTag> start;
    std::optional<TimeTag> end;
};

// The two tags of a complete reply, read after its escapes are removed; a tag whose bytes do not
// all stand before the decoded reply's end mark is left out.
TimeTags readTimeTags(ByteView reply);
// Writes both tag fields, an absent tag as an empty one.
void showTimeTags(const TimeTags &tags, ResultFields &fields);

// "   GPS", "   IRIG-B" or "   Internal", as the field shows it after the time.
std::string_view sourceName(TagSource source);
// The field's text for a tag: "07:05:09.042   GPS".
std::string tagText(const TimeTag &tag);

// Decodes the start and end time tags of a complete reply longer than timeTagThresholdBytes. The
// tags are read from the reply with escapes removed; a tag whose bytes do not all stand before
// the decoded reply's end mark is shown empty.
void decodeTimeTags(ByteView reply, ResultFields &fields);

void blankTimeTags(ResultFields &fields);

} // namespace station
