#include "runverdict.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace engine {

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
    if (!reply.frame.status)
        return;
    ++replies;
    const station::UnitStatus &status = *reply.frame.status;
    for (std::size_t i = 0; i < station::lineTestCount; ++i) {
        LineTally &line = lines[i];
        const bool ok = status.linesOk[i];
        (ok ? line.ok : line.error) += 1;
        // Two replies of one period may change it twice: the poll is named once.
        if (line.lastOk && *line.lastOk != ok &&
            (line.changedIn.empty() || line.changedIn.back() != reply.poll))
            line.changedIn.push_back(reply.poll);
        line.lastOk = ok;
    }
    protocolsSeen.insert(status.protocol);
    versionsSeen.insert(status.version);
    tsSeen.insert(tsStateName(status.softwareTs, status.hardwareTs));
    lastStatus = status;
    protocolName = reply.frame.protocolName;
}

void RunRecord::addPoll(int poll, station::PollOutcome outcome, bool forgiven, station::Bytes bytes)
{
    lastPollEnded = poll;
    lastOutcome = outcome;
    pollLog.push_back({poll, outcome, std::move(bytes), forgiven, false});
    if (outcome == station::PollOutcome::Measured)
        ++measured;
    else if (!forgiven)
        ++missed[static_cast<std::size_t>(outcome)];
}

void RunRecord::addAfterLast(const station::Bytes &bytes)
{
    answeredAfterLast = true;
    if (pollLog.empty())
        return;
    PollBytes &last = pollLog.back();
    last.bytes.insert(last.bytes.end(), bytes.begin(), bytes.end());
    if (station::mayHideAnError(last.outcome) && !last.forgiven)
        return; // already a poll that keeps the unit from passing, the rest of a reply too
    if (last.outcome == station::PollOutcome::Measured) {
        --measured;
        roundTripsMs.pop_back();
        last.roundTripMs.reset();
    } else if (!last.forgiven) {
        --missed[static_cast<std::size_t>(last.outcome)];
    }
    last.outcome = lastOutcome = station::PollOutcome::Late;
    last.forgiven = false;
    ++missed[static_cast<std::size_t>(station::PollOutcome::Late)];
}

void RunRecord::addInterrupted(station::Bytes bytes)
{
    pollLog.push_back({polls, station::PollOutcome::Unanswered, std::move(bytes), false, true});
}

int RunRecord::missedCount() const
{
    int count = 0;
    for (const int n : missed)
        count += n;
    return count;
}

int RunRecord::forgivableCount() const
{
    int count = 0;
    for (std::size_t i = 0; i < station::pollOutcomeCount; ++i)
        if (!station::mayHideAnError(station::PollOutcome(i)))
            count += missed[i];
    return count;
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
    const std::size_t rank = (sorted.size() * 95 + 99) / 100;
    return RoundTrip{sorted.front(), median, sorted.back(), sorted[rank - 1], sorted.size()};
}

} // namespace engine
