#pragma once

// What a whole run of polls says about one unit: each line test over every decoded reply, the
// expectations a production line has of the unit, the round-trip times, and the run's verdict.

#include "decisions.h"
#include "report.h"

#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace check {

enum class TsExpectation { Agree, Software, Hardware, Both, None };

struct Expectations
{
    std::optional<int> protocol;
    std::optional<int> version;
    std::optional<TsExpectation> ts;
};

// "agree", "software", "hardware", "both" or "none"; false for any other word.
bool parseTsExpectation(std::string_view word, TsExpectation &ts);

enum class RunVerdict { Pass, Fail, Intermittent, None };
std::string_view runVerdictName(RunVerdict verdict); // "pass", "fail", "intermittent", "none"

struct LineTally
{
    int ok = 0;
    int error = 0;
    std::vector<int> changedIn; // the polls whose reply said otherwise than the one before
    std::optional<bool> lastOk;

    // Pass: "OK" in every decoded reply; fail: "Error" in every one; intermittent: both; none:
    // no decoded reply.
    RunVerdict verdict() const;
    // "Error in 2 of 4 replies", and for a line that came and went ", changed in polls 2, 3, 4".
    std::string counts() const;
};

// "2, 3, 4" for those polls, or with another separator.
std::string pollList(const std::vector<int> &polls, const char *separator = ", ");

struct ExpectationResult
{
    std::string name;     // "protocol", "version" or "TS modes"
    std::string expected; // "5", "agree", ...
    std::vector<std::string> seen;
    bool met = false;
};

// Everything one port's run collected, added to as each poll period ends.
struct RunRecord
{
    int polls = 0;
    int replies = 0;
    int unanswered = 0;
    std::array<LineTally, station::lineTestCount> lines{};
    std::vector<double> roundTripsMs;
    int lastDecodedPoll = 0; // the poll of the last reply that carried the line tests
    std::optional<Reply> lastReply;
    std::set<int> protocolsSeen;
    std::set<int> versionsSeen;
    std::set<std::string> tsSeen;                  // "software", "hardware", "both", "none"
    std::optional<station::UnitStatus> lastStatus; // of the last decoded reply
    std::string protocolName;                      // the list's name for its protocol
    // Why the port did not open, or why the last poll could not be sent; empty when it did.
    std::optional<station::PortResult> startFailure;
    std::string sendProblem;

    void addReply(const Reply &reply);
};

struct RoundTrip
{
    double min = 0;
    double median = 0;
    double max = 0;
};
std::optional<RoundTrip> roundTripOf(const std::vector<double> &milliseconds);

struct RunDecision
{
    RunVerdict verdict = RunVerdict::None;
    int exitStatus = 0;
    // "PASS: ...", "FAIL: ...", "no complete reply in 4 polls...": what standard error says.
    std::string message;
    std::vector<ExpectationResult> expectations;
};

RunDecision decideRun(const RunRecord &record, const Expectations &expected);

// The words a TS state is named by: S and H as the status carries them.
std::string tsStateName(bool softwareTs, bool hardwareTs);

} // namespace check
