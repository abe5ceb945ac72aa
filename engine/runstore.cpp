#include "runstore.h"

#include "terminaltext.h"
#include "textencoding.h"

namespace engine {

namespace {

std::string listed(const std::set<int> &values)
{
    std::string out;
    for (const int value : values)
        out += (out.empty() ? "" : ", ") + std::to_string(value);
    return out;
}

std::string lineCaption(std::size_t i)
{
    return std::string(station::fieldCaption(station::lineTestFields[i]));
}

} // namespace

store::StoredRun storedRun(const PortSummary &port, const RunIdentity &identity)
{
    const RunRecord &record = port.record;
    const RunVerdict verdict = port.decision.verdict;
    // Only well-formed UTF-8 reaches the store, so that the plant's database takes every run;
    // a port's name as it is shown.
    store::StoredRun run{port.runId,
                         cli::wellFormedUtf8(port.unitId),
                         cli::printable(port.port, 255),
                         cli::wellFormedUtf8(identity.operatorName),
                         cli::wellFormedUtf8(identity.stationName),
                         identity.toolName,
                         identity.toolVersion,
                         identity.invocationId,
                         utcTimestamp(port.start),
                         utcTimestamp(port.end),
                         std::string(runVerdictName(verdict)),
                         port.decision.exitStatus,
                         isAttempt(record, verdict),
                         record.polls,
                         record.replies,
                         record.measured,
                         {},
                         listed(record.protocolsSeen),
                         listed(record.versionsSeen),
                         station::asUtf8(record.protocolName),
                         identity.protocolsSha256,
                         expectationsJson(port.decision.expectations),
                         cli::wellFormedUtf8(port.decision.message),
                         {},
                         {},
                         cli::wellFormedUtf8(port.slot),
                         cli::wellFormedUtf8(port.fixture),
                         port.adapter,
                         port.golden,
                         port.countsAsAttempt};
    for (std::size_t i = 0; i < store::missReasons.size(); ++i)
        for (std::size_t outcome = 0; outcome < station::pollOutcomeCount; ++outcome)
            if (station::pollOutcomeName(station::PollOutcome(outcome)) == store::missReasons[i])
                run.missed[i] = record.missed[outcome];
    for (std::size_t i = 0; i < station::lineTestCount; ++i) {
        const LineTally &line = record.lines[i];
        run.lines.push_back(
            {lineCaption(i), line.ok, line.error, std::string(runVerdictName(line.verdict()))});
    }
    for (const PollBytes &poll : record.pollLog)
        run.pollLog.push_back({poll.poll,
                               poll.interrupted
                                   ? std::string("interrupted")
                                   : std::string(station::pollOutcomeName(poll.outcome)),
                               poll.bytes, poll.roundTripMs});
    run.reason = cli::wellFormedUtf8(port.decision.reason);
    for (const ExpectationResult &result : port.decision.expectations)
        for (std::size_t bit = 0; bit < store::expectationNames.size(); ++bit)
            if (!result.seen.empty() && !result.met && result.name == store::expectationNames[bit])
                run.failedExpectations |= std::int64_t{1} << bit;
    if (verdict == RunVerdict::Incomplete || verdict == RunVerdict::Interrupted) {
        for (std::size_t bit = 0; bit < store::missReasons.size(); ++bit)
            run.causes |= run.missed[bit] > 0 ? std::int64_t{1} << bit : 0;
        const std::size_t port = store::missReasons.size();
        if (record.startFailure || !record.sendProblem.empty())
            run.causes |= std::int64_t{1} << port;
        if (verdict == RunVerdict::Interrupted)
            run.causes |= std::int64_t{1} << (port + 1);
    }
    if (const auto trip = roundTripOf(record.roundTripsMs))
        run.roundTrip = {int(trip->count), trip->median, trip->p95, trip->max};
    return run;
}

std::optional<std::string> storeRefusedBeforeRun(const StoreChoice &choice, bool probeWrite)
{
    if (!choice.recorded)
        return std::nullopt;
    if (choice.path.empty())
        return "neither XDG_DATA_HOME nor HOME names a folder for it";
    if (auto why = store::storeRefusal(choice.path))
        return why;
    if (auto why = choice.created ? store::createFolderOf(choice.path) : std::nullopt)
        return why;
    return probeWrite ? store::writeRefusal(choice.path) : std::nullopt;
}

std::optional<StoreFailure> recordRuns(const StoreChoice &choice,
                                       const std::vector<PortSummary> &ports,
                                       const RunIdentity &identity, std::vector<int> *attempts)
{
    if (!choice.recorded)
        return std::nullopt;
    try {
        store::ResultStore results(choice.path, store::ResultStore::Access::Record);
        for (const PortSummary &port : ports) {
            const int attempt = results.record(storedRun(port, identity));
            if (attempts)
                attempts->push_back(attempt);
        }
        results.checkpoint();
    } catch (const store::StoreError &error) {
        return StoreFailure{error.what(), error.kind == store::StoreError::Kind::Refused
                                              ? int(RecordNotCreated)
                                              : int(OutputFailed)};
    }
    return std::nullopt;
}

} // namespace engine
