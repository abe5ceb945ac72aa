#pragma once

// One decoded reply as the window showed it, its verdict, and how it is written out.

#include "frames.h"
#include "status.h"
#include "window.h"

#include <array>
#include <bitset>
#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace check {

struct Reply
{
    // The poll period in which the reply completed, counted from 1: a period runs from one poll
    // to the next, and its one reply is taken for the answer to its poll.
    int poll = 0;
    std::chrono::system_clock::time_point receivedAt;
    station::Bytes bytes; // as received, escapes and all
    std::array<std::string, station::fieldCount> texts{};
    std::array<station::Colour, station::fieldCount> colours{};
    // The fields this reply wrote; the others show what an earlier reply left there.
    std::bitset<station::fieldCount> written;
    station::StatusReading status = station::StatusReading::Decoded;
    // More than one reply completed in the period (a late answer to the poll before, and this
    // poll's): which one answers the poll cannot be known.
    bool twoReplies = false;
};

enum class Verdict {
    Pass,   // all five line tests "OK"
    Fail,   // one or more "Error"
    NoTests // no line tests of its own: see noVerdictReason
};

// The five line tests, top to bottom as the window shows them.
inline constexpr station::Field lineTestFields[] = {
    station::Field::lblDtrCdResult, station::Field::lblRtsCtsResult,
    station::Field::lblCtsRtsResult, station::Field::lblCdDtrResult, station::Field::lblTxRxResult};

// Read only from the fields this reply wrote: a verdict an earlier reply left on the display
// never counts.
Verdict verdictOf(const Reply &reply);
// Why a reply has no verdict, such as "the reply is too short to carry the line tests"; empty
// when it has one.
std::string_view noVerdictReason(const Reply &reply);
// The captions of the line tests that said "Error", in the window's order.
std::vector<std::string_view> failedTests(const Reply &reply);

// The window's caption beside a field, such as "TX - RX RTU" or "Hardware TS".
std::string_view caption(station::Field field);
// "green", "red" or "buttonface" (the desktop's button colour, which an unlit square shows).
std::string colourName(station::Colour colour);

// "2026-12-09T14:03:07.250Z"
std::string utcTimestamp(std::chrono::system_clock::time_point at);

// The window's texts, one field a line ("TX - RX RTU: Error"), under a line naming the poll; a
// field the reply did not write is "(not in this reply)".
std::string textReport(const Reply &reply);
// One JSON object on one line: every field by its control name, the squares by colour name, and
// null for a field the reply did not write.
std::string jsonReport(const Reply &reply);

} // namespace check
