#pragma once

#include "frames.h"
#include "protocolfile.h"
#include "window.h"

namespace station {

// Whether a complete reply carries a status the station reads, and if not, why not.
enum class StatusReading {
    Decoded,
    TooShort,     // 9 bytes or fewer: shown in hexadecimal only
    NoFrameHead,  // noise before the head, or the tail of a reply cut off by the tick
    CutByEscapes, // escapes leave bytes 3 to 9 short of the end mark
};

StatusReading statusReading(ByteView reply);

// Decodes bytes 3 to 9 of a complete reply, read after its escapes are removed, into the
// protocol name, the version, the four TS squares and the five line-test verdicts. A reply whose
// status cannot be read has those fields blanked instead. Returns true when any line test failed.
bool decodeStatus(ByteView reply, const ProtocolNames &names, ResultFields &fields);

// Protocol, version and the five verdicts blank, the four squares unlit.
void blankStatus(ResultFields &fields);

} // namespace station
