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

namespace engine {

enum class TsExpectation { Agree, Software, Hardware, Both, None };

struct Expectations
{
    std::optional<int> protocol;
    std::optional<int> version;
    std::optional<TsExpectation> ts;
    std::optional<double> maxRoundTripMs{}; // of the run's median round trip
};

// "agree", "software", "hardware", "both" or "none"; false for any other word.
bool parseTsExpectation(std::string_view word, TsExpectation &ts);

// The exit statuses a test executive acts on.
enum ExitStatus : int {
    Passed = 0,            // every line test passed in every decoded reply, every poll measured
    TestsFailed = 1,       // a line test failed or was intermittent, or an expectation missed
    NoReply = 2,           // incomplete: a poll not measured that keeps the unit from passing
    PortNotOpened = 3,     // the port could not be opened
    ProtocolsUnread = 4,   // "Protocol.txt" could not be read
    BadUsage = 64,         // the command line is wrong
    NoDisplay = 69,        // converter-line: no display it can show its window on
    RecordNotCreated = 73, // a --record, --junit or store file that is not ours to write
    OutputFailed = 74,     // the capture, the store or standard output could not be written
};
// Ended by a signal: 128 plus its number, as a shell reports it (130 for Ctrl+C, 143 for SIGTERM).
inline constexpr int signalStatusBase = 128;

// A run's verdict, and a line's; a line with no decoded reply has None, a run without a verdict
// is Incomplete.
enum class RunVerdict { Pass, Fail, Intermittent, Incomplete, Interrupted, None };
// "pass", "fail", "intermittent", "incomplete", "interrupted", "none"
std::string_view runVerdictName(RunVerdict verdict);

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
    std::string name;     // "protocol", "version", "TS modes" or "round trip"
    std::string expected; // "5", "agree", ...
    std::vector<std::string> seen;
    bool met = false;
};

// What one poll's period held, as the station cut it into frames, and what the poll came to.
struct PollBytes
{
    int poll = 0;
    station::PollOutcome outcome = station::PollOutcome::Unanswered;
    station::Bytes bytes; // every byte of its period, as received; of a flood, the first ones
    bool forgiven = false;
    bool interrupted = false;            // cut short by the end of the run: no outcome
    std::optional<double> roundTripMs{}; // of a measured poll: from its poll to its reply decoded
};

// Everything one port's run collected, added to as each frame and each poll period ends.
struct RunRecord
{
    int polls = 0;
    int replies = 0; // decoded replies, every one, in a two-reply period too
    int measured = 0;
    // The polls without a measurement, by outcome (the Measured entry stays 0).
    std::array<int, station::pollOutcomeCount> missed{};
    std::array<LineTally, station::lineTestCount> lines{};
    std::vector<double> roundTripsMs; // of measured polls
    int lastPollEnded = 0;
    station::PollOutcome lastOutcome = station::PollOutcome::Unanswered;
    std::set<int> protocolsSeen;
    std::set<int> versionsSeen;
    std::set<std::string> tsSeen;                  // "software", "hardware", "both", "none"
    std::optional<station::UnitStatus> lastStatus; // of the last decoded reply
    std::string protocolName;                      // the list's name for its protocol
    // Why the port did not open, or why the last poll could not be sent; empty when it did.
    std::optional<station::PortResult> startFailure;
    std::string sendProblem;
    std::vector<PollBytes> pollLog; // every poll ended, in order
    // Bytes came in the period after the last poll, when none was asked for: the unit answers
    // late, each reply perhaps the poll before's.
    bool answeredAfterLast = false;

    // Every decoded frame counts, each line's "Error" included.
    void addReply(const Reply &reply);
    // `forgiven`: an unanswered poll that --until-reply does not count as a miss.
    void addPoll(int poll, station::PollOutcome outcome, bool forgiven = false,
                 station::Bytes bytes = {});
    // What came in the period after the last poll: the last poll's reply came late.
    void addAfterLast(const station::Bytes &bytes);
    // The poll under way when the run was cut short, with what its period held so far.
    void addInterrupted(station::Bytes bytes);
    int missedCount() const;
    // The misses --max-missed may forgive: unanswered, too short, two replies.
    int forgivableCount() const;
};

struct RoundTrip
{
    double min = 0;
    double median = 0;
    double max = 0;
    double p95 = 0; // nearest rank
    std::size_t count = 0;
};
std::optional<RoundTrip> roundTripOf(const std::vector<double> &milliseconds);

struct RunDecision
{
    RunVerdict verdict = RunVerdict::None;
    int exitStatus = 0;
    // "PASS: ...", "FAIL: ...", "no complete reply in 4 polls...": what standard error says.
    std::string message;
    std::vector<ExpectationResult> expectations;
    // Why, in a few words of the message's own: the lines and expectations that failed, the
    // polls missed by outcome ("3 unanswered, 1 late"), the port's failure, the signal; empty
    // for a pass.
    std::string reason;
};

// `maxMissed`: how many polls without a measurement a passing run may have, when none of them may
// hide an "Error".
RunDecision decideRun(const RunRecord &record, const Expectations &expected, int maxMissed = 0);
// A run a quit signal cut short: never a pass, whatever it saw, and the status a shell gives the
// signal; the message says what was seen until then.
RunDecision interruptedRun(const RunRecord &record, const Expectations &expected, int maxMissed,
                           int signalNumber);

// Whether the run measured the unit: an attempt, counted toward its attempts and in yield. A port
// that did not open, an interruption, or a run incomplete where the station missed its cadence is
// the station's fault, not the unit's: it is kept, but the unit is tested again.
bool isAttempt(const RunRecord &record, RunVerdict verdict);

// The words a TS state is named by: S and H as the status carries them.
std::string tsStateName(bool softwareTs, bool hardwareTs);

} // namespace engine
