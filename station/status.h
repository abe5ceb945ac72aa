#pragma once

#include "frames.h"
#include "protocolfile.h"
#include "window.h"

namespace station {

// Decodes bytes 3 to 9 of a complete reply of more than 9 bytes, read as received (escapes are
// not removed for these), into the protocol name, the version, the four TS squares and the five
// line-test verdicts. Returns true when any line test failed.
bool decodeStatus(ByteView reply, const ProtocolNames &names, ResultFields &fields);

} // namespace station
