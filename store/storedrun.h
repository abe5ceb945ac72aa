#pragma once

// One unit's run as the store keeps it: plain values, filled in by the program that ran it.

#include "adapteridentity.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace store {

// Why a poll went without a measurement, one count each, in this order; the words are the
// reports' own.
inline constexpr std::array<std::string_view, 7> missReasons = {
    "unanswered", "late", "tooShort", "noHead", "twoFrames", "flood", "stationLate"};

// The expectations a run may miss, by bit of `StoredRun::failedExpectations`; the names are the
// reports' own.
inline constexpr std::array<std::string_view, 4> expectationNames = {"protocol", "version",
                                                                     "TS modes", "round trip"};

// Why an incomplete or interrupted run went without a verdict, by bit of `StoredRun::causes`:
// each miss reason, then a port that did not open or failed, then a quit signal.
inline constexpr std::array<std::string_view, missReasons.size() + 2> incompleteCauses = {
    "unanswered", "late",        "tooShort", "noHead",     "twoFrames",
    "flood",      "stationLate", "port",     "interrupted"};

// A line test's code, which stays when its caption changes: "TX - RX RTU" is "tx_rx_rtu".
inline std::string lineCode(std::string_view caption)
{
    std::string code;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption.substr(i, 3) == " - ")
            i += 2;
        const char c = caption[i];
        code += c == ' ' || c == '-' ? '_' : c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    return code;
}

// A unit's id as it is filed: its ASCII letters in upper case, as SQLite's upper() folds them, so
// that "sn-2002" and "SN-2002" are one unit for attempts, the lockout and the store, unless the
// line's ids tell them apart (`exactCase`).
inline std::string unitIdAsFiled(std::string id, bool exactCase = false)
{
    if (!exactCase)
        for (char &c : id)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
    return id;
}

struct LineResult
{
    std::string line; // the line test's caption, "TX - RX RTU"
    int ok = 0;
    int error = 0;
    std::string verdict; // "pass", "fail", "intermittent" or "none"
    std::string code{};  // "tx_rx_rtu": the caption's code, as `lineCode` makes it
};

struct PollEvidence
{
    int poll = 0;
    std::string outcome;                 // "measured", "unanswered", ...
    std::vector<std::uint8_t> bytes;     // what the period held, as received
    std::optional<double> roundTripMs{}; // of a measured poll
};

// The round trips of a run's measured polls, in milliseconds.
struct RoundTripFigures
{
    int count = 0;
    double median = 0;
    double p95 = 0;
    double max = 0;
};

struct StoredRun
{
    std::string runId;
    std::string unitId; // empty: none given
    std::string port;
    std::string operatorName;
    std::string stationName;
    std::string toolName;
    std::string toolVersion;
    std::string invocationId;
    std::string start; // UTC, "2026-12-09T14:03:07.250Z"
    std::string end;
    // "pass", "fail", "intermittent", "incomplete" or "interrupted"
    std::string verdict;
    int exitStatus = 0;
    // The unit was polled and the run ended by itself: an attempt, counted in yield. A port that
    // did not open, or a run a signal cut short, is kept but never counted.
    bool polled = false;
    int polls = 0;
    int replies = 0; // decoded
    int measured = 0;
    std::array<int, missReasons.size()> missed{};
    std::string protocols; // the protocol numbers seen, "5" or "5, 7"
    std::string versions;
    std::string protocolName;
    std::string protocolsSha256;
    std::string expectations; // a JSON array: name, expected, seen, met
    std::string message;      // the decision as standard error gave it
    std::vector<LineResult> lines;
    std::vector<PollEvidence> pollLog;
    std::string slot;      // the fixture slot's name; empty: none
    std::string fixture{}; // the fixture's id; empty: none
    cli::AdapterIdentity adapter{};
    bool golden = false; // a golden unit's run: it verifies its slot, and is no attempt
    // Whether a polled run of a unit is one of its attempts, decided by the program that ran it:
    // not a golden unit's, nor one made in a slot then suspect.
    bool countsAsAttempt = true;
    std::string reason{};                // the decision's reason in a few words; empty for a pass
    std::int64_t failedExpectations = 0; // bits of `expectationNames`
    std::int64_t causes = 0;      // of an incomplete or interrupted run: bits of `incompleteCauses`
    RoundTripFigures roundTrip{}; // count 0: none measured
};

} // namespace store
