#pragma once

// What the station decided, told as plain values to whoever listens: each handled reply, each
// poll, and the result of Start. The window is written first, by the same decisions; a listener
// never changes what the window shows.

#include "frames.h"
#include "portcontroller.h"
#include "window.h"

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>

namespace station {

// Whether a complete reply carries a status the station reads, and if not, why not.
enum class StatusReading {
    Decoded,
    TooShort,     // 9 bytes or fewer: shown in hexadecimal only
    NoFrameHead,  // noise before the head, or the tail of a reply cut off by the tick
    CutByEscapes, // escapes leave bytes 3 to 9 short of the end mark
};

// Bytes 3 to 9 of a reply, read after its escapes are removed.
struct UnitStatus
{
    int protocol = 0;                          // 0 to 63, the index into the protocol list
    int version = 0;                           // 0 to 63
    bool softwareTs = false;                   // S: the TS flag of byte 3
    bool hardwareTs = false;                   // H: the TS flag of byte 4
    std::array<bool, lineTestCount> linesOk{}; // in the order of lineTestFields

    bool anyLineFailed() const;
};

enum class TagSource { Gps, IrigB, Internal };

struct TimeTag
{
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    int milliseconds = 0;
    TagSource source = TagSource::Internal;
};

// One arrival that ended in 0xFF, as the station handled it.
struct ReplyHandled
{
    ReplyEnd end = ReplyEnd::EndByteOnly; // Complete or EndByteOnly; nothing else is told
    Bytes bytes;                          // the receive buffer, escapes and all
    StatusReading reading = StatusReading::TooShort; // meaningful for a complete reply only
    std::optional<UnitStatus> status;                // set when reading is Decoded
    std::optional<TimeTag> startTag;                 // set when the reply carried it whole
    std::optional<TimeTag> endTag;
    std::string protocolName;        // the list's name for status->protocol
    std::bitset<fieldCount> written; // the fields this arrival wrote
    bool beeped = false;
};

class StationListener
{
public:
    virtual ~StationListener() = default;
    // Start was pressed; `opened` is the port's answer.
    virtual void startHandled(const PortResult &opened) { (void)opened; }
    // A tick found the poll before still unanswered and showed "No Reply".
    virtual void pollUnanswered() {}
    // A tick sent the poll; `sent` is the port's answer.
    virtual void pollSent(const PortResult &sent) { (void)sent; }
    virtual void replyHandled(const ReplyHandled &reply) { (void)reply; }
};

} // namespace station
