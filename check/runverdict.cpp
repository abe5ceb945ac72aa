#include "runverdict.h"

#include "portcontroller.h"
#include "stationwindow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace check {

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
    return results;
}

// The counts close the first line; a hint, if any, follows on its own lines.
std::string withCounts(std::string message, const RunRecord &record)
{
    std::string counts = " (" + counted(record.polls, "poll", "polls") + ", " +
                         counted(record.replies, "reply", "replies") + ", " +
                         std::to_string(record.unanswered) + " unanswered";
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
    case RunVerdict::None:
        break;
    }
    return "none";
}

std::string pollList(const std::vector<int> &polls, const char *separator)
{
    std::string out;
    for (std::size_t i = 0; i < polls.size(); ++i)
        out += (i ? separator : "") + std::to_string(polls[i]);
    return out;
}

std::string LineTally::counts() const
{
    std::string text =
        "Error in " + std::to_string(error) + " of " + std::to_string(ok + error) + " replies";
    if (!changedIn.empty())
        text += ", changed in polls " + pollList(changedIn);
    return text;
}

RunVerdict LineTally::verdict() const
{
    if (ok > 0 && error > 0)
        return RunVerdict::Intermittent;
    if (error > 0)
        return RunVerdict::Fail;
    return ok > 0 ? RunVerdict::Pass : RunVerdict::None;
}

std::string tsStateName(bool softwareTs, bool hardwareTs)
{
    if (softwareTs && hardwareTs)
        return "both";
    if (softwareTs)
        return "software";
    return hardwareTs ? "hardware" : "none";
}

void RunRecord::addReply(const Reply &reply)
{
    ++replies;
    if (!reply.twoReplies && reply.roundTripMs)
        roundTripsMs.push_back(*reply.roundTripMs);
    lastReply = reply;
    if (verdictOf(reply) == Verdict::NoTests)
        return;
    const station::UnitStatus &status = *reply.handled.status;
    for (std::size_t i = 0; i < station::lineTestCount; ++i) {
        LineTally &line = lines[i];
        const bool ok = status.linesOk[i];
        (ok ? line.ok : line.error) += 1;
        if (line.lastOk && *line.lastOk != ok)
            line.changedIn.push_back(reply.poll);
        line.lastOk = ok;
    }
    lastDecodedPoll = reply.poll;
    protocolsSeen.insert(status.protocol);
    versionsSeen.insert(status.version);
    tsSeen.insert(tsStateName(status.softwareTs, status.hardwareTs));
    lastStatus = status;
    protocolName = reply.handled.protocolName;
}

std::optional<RoundTrip> roundTripOf(const std::vector<double> &milliseconds)
{
    if (milliseconds.empty())
        return std::nullopt;
    std::vector<double> sorted = milliseconds;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t middle = sorted.size() / 2;
    const double median =
        sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
    return RoundTrip{sorted.front(), median, sorted.back()};
}

RunDecision decideRun(const RunRecord &record, const Expectations &expected)
{
    RunDecision decision;
    decision.expectations = expectationResults(record, expected);
    if (record.startFailure) {
        decision.message = std::string(station::openFailureText) + ": " +
                           indentedLines(station::portFailureHint(*record.startFailure));
        decision.exitStatus = 3;
        return decision;
    }

    // Lines that failed throughout, then lines that came and went, then missed expectations.
    std::vector<std::string> failures;
    std::vector<std::string> intermittent;
    for (std::size_t i = 0; i < station::lineTestCount; ++i) {
        const LineTally &line = record.lines[i];
        const std::string caption(station::fieldCaption(station::lineTestFields[i]));
        if (line.verdict() == RunVerdict::Fail)
            failures.push_back(caption);
        else if (line.verdict() == RunVerdict::Intermittent)
            intermittent.push_back(caption + " (" + line.counts() + ")");
    }
    for (const ExpectationResult &result : decision.expectations)
        if (!result.seen.empty() && !result.met)
            failures.push_back(result.name + " (expected " + result.expected + ", seen " +
                               joined(result.seen, " and ") + ")");
    const bool anyFailed = !failures.empty();
    for (std::string &line : intermittent)
        failures.push_back(anyFailed ? "intermittent " + line : line);

    if (!failures.empty()) {
        decision.verdict = anyFailed ? RunVerdict::Fail : RunVerdict::Intermittent;
        decision.exitStatus = 1;
        decision.message = (anyFailed ? "FAIL: " : "INTERMITTENT: ") + joined(failures);
    } else if (!record.lastReply) {
        decision.exitStatus = 2;
        decision.message = "no complete reply in " + counted(record.polls, "poll", "polls");
        if (!record.sendProblem.empty())
            decision.message += ": " + indentedLines(record.sendProblem);
    } else if (record.lastDecodedPoll != record.polls) {
        // A unit that passed once and then fell silent has not passed: the window would show
        // "No Reply" and blank verdicts by now.
        decision.exitStatus = 2;
        const Reply &last = *record.lastReply;
        if (last.poll == record.polls || record.lastDecodedPoll == 0)
            decision.message = "no verdict in poll " + std::to_string(last.poll) + ": " +
                               std::string(noVerdictReason(last));
        else
            decision.message =
                "no reply to the last poll (poll " + std::to_string(record.polls) + ")";
        if (record.lastDecodedPoll != 0)
            decision.message += "; the replies before passed";
    } else {
        decision.verdict = RunVerdict::Pass;
        decision.message = "PASS: all five line tests OK in every decoded reply";
    }
    decision.message = withCounts(decision.message, record);
    return decision;
}

} // namespace check
