#pragma once

#include "frames.h"
#include "window.h"

namespace station {

// Decodes the start and end time tags of a complete reply longer than timeTagThresholdBytes. The
// tags are read from the reply with escapes removed; a tag whose bytes do not all stand before
// the decoded reply's end mark is shown empty.
void decodeTimeTags(ByteView reply, ResultFields &fields);

void blankTimeTags(ResultFields &fields);

} // namespace station
