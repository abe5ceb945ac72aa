#pragma once

// One reply as the station decided it, its verdict, and how it is written out.

#include "decisions.h"
#include "frames.h"
#include "terminaltext.h"
#include "window.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// One frame the station told, in the period of the poll it came in.
struct Reply
{
    int poll = 0; // counted from 1
    std::chrono::system_clock::time_point receivedAt;
    station::FrameHandled frame;
};

enum class Verdict {
    Pass,   // all five line tests "OK"
    Fail,   // one or more "Error"
    NoTests // no line tests of its own: see noVerdictReason
};

Verdict verdictOf(const Reply &reply);
// Why a reply has no verdict, such as "the reply is too short to carry the line tests"; empty
// when it has one.
std::string_view noVerdictReason(const Reply &reply);
// The captions of the line tests that said "Error", top-down.
std::vector<std::string_view> failedTests(const Reply &reply);

// "green", "red" or "buttonface" (the desktop's button colour, which an unlit square shows).
std::string colourName(station::Colour colour);
using cli::jsonString;
using cli::optionalJson;
using cli::utcTimestamp;
// Whether the frame carries what the field shows: its bytes always, the status fields when it was
// decoded, each time tag when it carried it whole.
bool carries(const Reply &reply, station::Field field);
// The text the window shows in a field the frame carries, a square by its colour's name.
std::string shownText(const Reply &reply, station::Field field);

// Who and what a report is about.
struct ReportHeading
{
    std::string port;
    std::string unitId;       // empty: none given
    std::string runId;        // this port's run, a random UUID
    std::string invocationId; // shared by the ports of one invocation
};

// The window's texts, one field a line ("TX - RX RTU: Error"), under a line naming the poll; a
// field the frame does not carry is "(not in this reply)".
std::string textReport(const Reply &reply, const ReportHeading &heading);
// One JSON object on one line: every field by its control name, the squares by colour name, and
// null for a field the frame does not carry.
std::string jsonReport(const Reply &reply, const ReportHeading &heading);

} // namespace engine
