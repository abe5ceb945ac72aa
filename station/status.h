#pragma once

#include "decisions.h"
#include "frames.h"
#include "protocolfile.h"
#include "window.h"

#include <optional>
#include <string>

namespace station {

// Decoded, TooShort or NoFrameHead, for a complete frame.
FrameReading statusReading(ByteView reply);

// The status of a complete reply, when statusReading says Decoded.
std::optional<UnitStatus> readStatus(ByteView reply);

// The texts and colours the window shows for a status.
std::string versionText(int version);
std::string_view lineTestText(bool ok);
Colour tsSquareColour(Field square, bool softwareTs, bool hardwareTs);

// Decodes bytes 3 to 9 of a complete reply, read after its escapes are removed, into the
// protocol name, the version, the four TS squares and the five line-test verdicts. A reply whose
// status cannot be read has those fields blanked instead. Returns true when any line test failed.
bool decodeStatus(ByteView reply, const ProtocolNames &names, ResultFields &fields);
// Writes a status read before, in the same order.
void showStatus(const UnitStatus &status, const ProtocolNames &names, ResultFields &fields);

// Protocol, version and the five verdicts blank, the four squares unlit.
void blankStatus(ResultFields &fields);

} // namespace station
