#include "runverdict.h"

#include "portcontroller.h"
#include "stationwindow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace engine {

namespace {

std::string counted(int count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The reason on the message's line, the hint after it on lines of its own, indented.
std::string indentedLines(std::string text)
{
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        text.replace(at, 1, "\n  ");
    return text;
}

std::string joined(const std::vector<std::string> &items, const char *separator = ", ")
{
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i ? separator : "") + items[i];
    return out;
}

std::string milliseconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

bool tsMeets(TsExpectation expected, const std::string &seen)
{
    switch (expected) {
    case TsExpectation::Agree:
        return seen == "both" || seen == "none";
    case TsExpectation::Software:
        return seen == "software";
    case TsExpectation::Hardware:
        return seen == "hardware";
    case TsExpectation::Both:
        return seen == "both";
    case TsExpectation::None:
        return seen == "none";
    }
    return false;
}

ExpectationResult numberExpectation(const char *name, int expected, const std::set<int> &seen)
{
    ExpectationResult result{name, std::to_string(expected), {}, !seen.empty()};
    for (const int value : seen) {
        result.seen.push_back(std::to_string(value));
        result.met = result.met && value == expected;
    }
    return result;
}

std::vector<ExpectationResult> expectationResults(const RunRecord &record,
                                                  const Expectations &expected)
{
    std::vector<ExpectationResult> results;
    if (expected.protocol)
        results.push_back(numberExpectation("protocol", *expected.protocol, record.protocolsSeen));
    if (expected.version)
        results.push_back(numberExpectation("version", *expected.version, record.versionsSeen));
    if (expected.ts) {
        static constexpr const char *words[] = {"agree", "software", "hardware", "both", "none"};
        ExpectationResult result{
            "TS modes", words[static_cast<int>(*expected.ts)], {}, !record.tsSeen.empty()};
        for (const std::string &seen : record.tsSeen) {
            result.seen.push_back(seen);
            result.met = result.met && tsMeets(*expected.ts, seen);
        }
        results.push_back(std::move(result));
    }
    if (expected.maxRoundTripMs) {
        const auto trip = roundTripOf(record.roundTripsMs);
        ExpectationResult result{"round trip", milliseconds(*expected.maxRoundTripMs), {}, !!trip};
        if (trip) {
            result.seen.push_back(milliseconds(trip->median));
            result.met = trip->median <= *expected.maxRoundTripMs;
        }
        results.push_back(std::move(result));
    }
    return results;
}

// "protocol expected 5, seen 7"; "round trip median 23.4 ms, over 20.0 ms".
std::string missedExpectation(const ExpectationResult &result)
{
    if (result.name == "round trip")
        return "round trip median " + joined(result.seen) + " ms, over " + result.expected + " ms";
    return result.name + " expected " + result.expected + ", seen " + joined(result.seen, " and ");
}

// The first line of a text: a hint's reason without its advice.
std::string firstLine(const std::string &text)
{
    return text.substr(0, text.find('\n'));
}

// "1 unanswered, 2 late": the misses by outcome, the ones that happened.
std::string missedList(const RunRecord &record)
{
    std::vector<std::string> parts;
    for (std::size_t i = 0; i < station::pollOutcomeCount; ++i)
        if (record.missed[i] > 0)
            parts.push_back(std::to_string(record.missed[i]) + " " +
                            std::string(station::pollOutcomeName(station::PollOutcome(i))));
    return joined(parts);
}

// The counts close the first line; a hint, if any, follows on its own lines.
std::string withCounts(std::string message, const RunRecord &record)
{
    std::string counts = " (" + counted(record.polls, "poll", "polls") + ", " +
                         counted(record.replies, "reply", "replies") + ", " +
                         std::to_string(record.missedCount()) + " missed";
    if (record.missedCount() > 0)
        counts += ": " + missedList(record);
    if (const auto trip = roundTripOf(record.roundTripsMs))
        counts += "; round trip " + milliseconds(trip->min) + " / " + milliseconds(trip->median) +
                  " / " + milliseconds(trip->max) + " ms, min / median / max";
    const std::size_t firstLineEnd = std::min(message.find('\n'), message.size());
    message.insert(firstLineEnd, counts + ")");
    return message;
}

} // namespace

bool parseTsExpectation(std::string_view word, TsExpectation &ts)
{
    static constexpr std::pair<std::string_view, TsExpectation> words[] = {
        {"agree", TsExpectation::Agree},
        {"software", TsExpectation::Software},
        {"hardware", TsExpectation::Hardware},
        {"both", TsExpectation::Both},
        {"none", TsExpectation::None}};
    for (const auto &[name, value] : words)
        if (name == word) {
            ts = value;
            return true;
        }
    return false;
}

std::string_view runVerdictName(RunVerdict verdict)
{
    switch (verdict) {
    case RunVerdict::Pass:
        return "pass";
    case RunVerdict::Fail:
        return "fail";
    case RunVerdict::Intermittent:
        return "intermittent";
    case RunVerdict::Incomplete:
        return "incomplete";
    case RunVerdict::Interrupted:
        return "interrupted";
    case RunVerdict::None:
        break;
    }
    return "none";
}

RunDecision decideRun(const RunRecord &record, const Expectations &expected, int maxMissed)
{
    RunDecision decision;
    decision.expectations = expectationResults(record, expected);
    if (record.startFailure) {
        decision.verdict = RunVerdict::Incomplete;
        decision.message = std::string(station::openFailureText) + ": " +
                           indentedLines(station::portFailureHint(*record.startFailure));
        decision.reason =
            "port did not open: " + firstLine(station::portFailureHint(*record.startFailure));
        decision.exitStatus = 3;
        return decision;
    }

    // Lines that failed throughout, then lines that came and went, then missed expectations. An
    // "Error" in any decoded reply fails the run, whatever else happened.
    std::vector<std::string> failures;
    std::vector<std::string> intermittent;
    std::vector<std::string> reasons;
    std::vector<std::string> intermittentReasons;
    for (std::size_t i = 0; i < station::lineTestCount; ++i) {
        const LineTally &line = record.lines[i];
        const std::string caption(station::fieldCaption(station::lineTestFields[i]));
        if (line.verdict() == RunVerdict::Fail) {
            failures.push_back(caption);
            reasons.push_back(caption);
        } else if (line.verdict() == RunVerdict::Intermittent) {
            intermittent.push_back(caption + " (" + line.counts() + ")");
            intermittentReasons.push_back(caption + " intermittent");
        }
    }
    for (const ExpectationResult &result : decision.expectations)
        if (!result.seen.empty() && !result.met) {
            failures.push_back(result.name == "round trip"
                                   ? missedExpectation(result)
                                   : result.name + " (expected " + result.expected + ", seen " +
                                         joined(result.seen, " and ") + ")");
            reasons.push_back(missedExpectation(result));
        }
    const bool anyFailed = !failures.empty();
    for (std::string &line : intermittent)
        failures.push_back(anyFailed ? "intermittent " + line : line);
    reasons.insert(reasons.end(), intermittentReasons.begin(), intermittentReasons.end());

    // A pass needs a measurement of the last poll and no poll that may hide an "Error".
    const int hiding = record.missedCount() - record.forgivableCount();
    const auto polls = [](int count) {
        return counted(count, "poll", "polls");
    };
    if (!failures.empty()) {
        decision.verdict = anyFailed ? RunVerdict::Fail : RunVerdict::Intermittent;
        decision.exitStatus = 1;
        decision.message = (anyFailed ? "FAIL: " : "INTERMITTENT: ") + joined(failures);
        decision.reason = joined(reasons);
    } else if (const int late = record.missed[std::size_t(station::PollOutcome::StationLate)]) {
        decision.message = "the station missed its 500 ms cadence in " + polls(late) +
                           ", so the unit was not measured fairly: test it again";
    } else if (record.replies == 0) {
        decision.message = "no decoded reply in " + polls(record.polls);
        if (!record.sendProblem.empty())
            decision.message += ": " + indentedLines(record.sendProblem);
    } else if (record.answeredAfterLast) {
        decision.message = "the unit answered after the last poll's period (poll " +
                           std::to_string(record.lastPollEnded) +
                           ": late): each reply may answer the poll before";
    } else if (record.lastOutcome != station::PollOutcome::Measured) {
        // A unit that passed once and then fell silent has not passed: the window would show
        // "No Reply" and blank verdicts by now.
        decision.message = "no measurement of the last poll (poll " +
                           std::to_string(record.lastPollEnded) + ": " +
                           std::string(station::pollOutcomeReason(record.lastOutcome)) + ")";
    } else if (hiding > 0) {
        decision.message = polls(hiding) + " whose bytes were not all decoded (" +
                           missedList(record) + "): an \"Error\" may have gone unseen";
    } else if (record.forgivableCount() > maxMissed) {
        decision.message = polls(record.forgivableCount()) + " without a measurement, more than " +
                           "--max-missed " + std::to_string(maxMissed) + " allows";
    } else {
        decision.verdict = RunVerdict::Pass;
        decision.message = "PASS: all five line tests OK in every decoded reply";
    }
    if (decision.verdict == RunVerdict::None) {
        decision.verdict = RunVerdict::Incomplete;
        decision.exitStatus = 2;
        decision.reason = record.missedCount() > 0 ? missedList(record) : decision.message;
        if (!record.sendProblem.empty())
            decision.reason += "; port: " + firstLine(record.sendProblem);
        decision.message = "INCOMPLETE: " + decision.message;
    }
    decision.message = withCounts(decision.message, record);
    return decision;
}

bool isAttempt(const RunRecord &record, RunVerdict verdict)
{
    const bool stationLate = record.missed[std::size_t(station::PollOutcome::StationLate)] > 0;
    return !record.startFailure && verdict != RunVerdict::Interrupted &&
           !(verdict == RunVerdict::Incomplete && stationLate);
}

RunDecision interruptedRun(const RunRecord &record, const Expectations &expected, int maxMissed,
                           int signalNumber)
{
    RunDecision decision = decideRun(record, expected, maxMissed);
    if (decision.exitStatus == 3)
        return decision; // nothing was polled on a port that did not open
    const char *name = ::sigabbrev_np(signalNumber);
    const std::string interrupted =
        "INTERRUPTED by " + (name ? "SIG" + std::string(name) : std::string("a signal"));
    // A line that failed is said; anything else waited on polls that never ended.
    const bool failed = decision.exitStatus == 1;
    decision.verdict = RunVerdict::Interrupted;
    decision.exitStatus = 128 + signalNumber;
    decision.message = failed ? interrupted + ", so no verdict; until then: " + decision.message
                              : withCounts(interrupted + ", so no verdict", record);
    decision.reason = "interrupted by " + interrupted.substr(std::strlen("INTERRUPTED by ")) +
                      (failed ? "; " + decision.reason : "");
    return decision;
}

} // namespace engine
