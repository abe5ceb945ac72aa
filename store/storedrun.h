#pragma once

// One unit's run as the store keeps it: plain values, filled in by the program that ran it.

#include "adapteridentity.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace store {

// Why a poll went without a measurement, one count each, in this order; the words are the
// reports' own.
inline constexpr std::array<std::string_view, 7> missReasons = {
    "unanswered", "late", "tooShort", "noHead", "twoFrames", "flood", "stationLate"};

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
};

struct PollEvidence
{
    int poll = 0;
    std::string outcome;             // "measured", "unanswered", ...
    std::vector<std::uint8_t> bytes; // what the period held, as received
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
};

} // namespace store
