#pragma once

#include "frames.h"
#include "protocolfile.h"
#include "window.h"

namespace station {

// Decodes bytes 3 to 9 of a complete reply of more than 9 bytes, read after its escapes are
// removed, into the protocol name, the version, the four TS squares and the five line-test
// verdicts. When escapes leave fewer than 9 decoded bytes, those fields are blanked instead.
// Returns true when any line test failed.
bool decodeStatus(ByteView reply, const ProtocolNames &names, ResultFields &fields);

} // namespace station
