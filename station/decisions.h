#pragma once

// What the station decided, told as plain values to whoever listens: each frame, each
// poll, and the result of Start. The window is written first, by the same decisions; a listener
// never changes what the window shows.

#include "frames.h"
#include "portcontroller.h"
#include "window.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace station {

// How the station read one frame: a complete reply, or why it is none.
enum class FrameReading {
    Decoded,
    TooShort,    // escapes removed, bytes 3 to 9 do not all stand before the end mark
    NoFrameHead, // noise: bytes that do not start as a reply starts
    Tail,        // the rest of a reply still arriving when the next poll left: never decoded
    Flood,       // more bytes in one poll period than the line can carry; the rest are dropped
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

// One frame, as the station handled it.
struct FrameHandled
{
    FrameReading reading = FrameReading::NoFrameHead;
    Bytes bytes; // escapes and all; for a tail the bytes of this period, for a flood none
    std::optional<UnitStatus> status; // set when reading is Decoded
    std::optional<TimeTag> startTag;  // set when the reply carried it whole
    std::optional<TimeTag> endTag;
    std::string protocolName; // the list's name for status->protocol
    bool beeped = false;
};

// What one poll's period, from that poll leaving to the next poll leaving, held. Only a measured
// poll has an answer of its own; every other outcome is a missed measurement, named by its word.
enum class PollOutcome {
    Measured,    // exactly one frame of its own, decoded
    Unanswered,  // no frame of its own
    Late,        // a frame still arriving when the next poll left
    TooShort,    // one frame of its own, too short for the status
    NoHead,      // bytes that do not start as a reply starts
    TwoFrames,   // two or more replies: which one answers the poll cannot be known
    Flood,       // more than the line can carry
    StationLate, // the station's own poll left too early or too late: no fair measurement
    NOutcomes    // not an outcome: counts them, so keep it last
};
inline constexpr std::size_t pollOutcomeCount = static_cast<std::size_t>(PollOutcome::NOutcomes);
// "measured", "unanswered", "late", "tooShort", "noHead", "twoFrames", "flood", "stationLate":
// the words every report uses.
std::string_view pollOutcomeName(PollOutcome outcome);
// Why a poll of that outcome has no measurement, such as "no reply"; empty for Measured.
std::string_view pollOutcomeReason(PollOutcome outcome);
// Whether the outcome may hide a reply whose "Error" was never decoded.
bool mayHideAnError(PollOutcome outcome);

class StationListener
{
public:
    virtual ~StationListener() = default;
    // Start was pressed; `opened` is the port's answer.
    virtual void startHandled(const PortResult &opened) { (void)opened; }
    // A tick sent the poll; `sent` is the port's answer.
    virtual void pollSent(const PortResult &sent) { (void)sent; }
    // A frame completed (or a flood began), in the order of arrival.
    virtual void frameHandled(const FrameHandled &frame) { (void)frame; }
    // The period of the last poll sent ended, at the next tick, when the next poll would leave.
    virtual void pollEnded(PollOutcome outcome) { (void)outcome; }
};

} // namespace station
