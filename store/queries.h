#pragma once

// What a line engineer asks of the store: a unit's history, the runs of a period, its yield and
// which line test fails most.

#include "resultstore.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace store {

// Runs that started from `since` (inclusive) until `until` (exclusive), as UTC texts of the
// stored form; empty: no bound.
struct Window
{
    std::string since;
    std::string until;
};

struct RunFilter
{
    Window window;
    std::string station;
    std::string verdict;
    std::string unitId;
};

struct RunRow
{
    std::string runId;
    std::string unitId;
    int attempt = 0; // 0: not an attempt
    std::string port;
    std::string operatorName;
    std::string stationName;
    std::string start;
    std::string end;
    std::string verdict;
    int exitStatus = 0;
    int polls = 0;
    int measured = 0;
    std::vector<std::string> failedLines;
    std::vector<std::string> intermittentLines;
    std::string message;
    std::string slot; // empty: none on record
    std::string fixture{};
    cli::AdapterIdentity adapter{};
    bool golden = false;
    bool countsAsAttempt = false; // decided when it was recorded: its attempt, if any
    std::string reason{};         // empty for a pass
    RoundTripFigures roundTrip{};
};

// How many attempts of the unit are on record, and of `coming`, the run ids of its attempts still
// being recorded, those not yet in: both read at one moment, so none is counted twice or missed.
// `forwarded`, when given, gets how many of the recorded attempts were pushed to the plant.
int attemptsOf(ResultStore &store, const std::string &unitId,
               const std::vector<std::string> &coming = {}, int *forwarded = nullptr);

// The line tests' names, by bit.
std::vector<std::string> lineNames(ResultStore &store);

// Oldest first.
std::vector<RunRow> history(ResultStore &store, const std::string &unitId);
// The ids on record that differ from `unitId` only in case or by one character (one replaced,
// added or left out): what a mistyped id may have meant. At most `limit` of them.
std::vector<std::string> similarUnitIds(ResultStore &store, const std::string &unitId,
                                        std::size_t limit = 5);
std::vector<RunRow> runs(ResultStore &store, const RunFilter &filter);

// Day and shift by the calendar; station and operator as the store has them; slot (its name,
// else its port), port, fixture and adapter (its by-id name, else vendor:product:serial) of the
// run.
enum class GroupBy { None, Day, Station, Operator, Slot, Port, Fixture, Adapter, Shift };

// How days and shifts are told from the stored UTC times: by the process's local time zone (as
// TZ gives it) or by UTC. Shifts by their starts, minutes after midnight, in ascending order; a
// shift belongs to the day it starts, the time before the first start to the day before's last.
struct Calendar
{
    bool local = false;
    std::vector<int> shiftStarts;
};

struct YieldRow
{
    std::string group; // the day, station or operator of each unit's first attempt
    std::int64_t units = 0;
    std::int64_t runs = 0;     // the units' attempts, and the runs without a unit id
    std::int64_t unitRuns = 0; // the units' attempts
    std::int64_t firstPassed = 0;
    std::int64_t lastPassed = 0;
    std::int64_t passedRuns = 0;

    // None when there is nothing to divide by: no units, or no runs, is no yield at all.
    std::optional<double> fpy() const { return ratio(firstPassed, units); }
    std::optional<double> lpy() const { return ratio(lastPassed, units); }
    std::optional<double> runYield() const { return ratio(passedRuns, runs); }
    std::optional<double> retestRate() const { return ratio(unitRuns - units, units); }

private:
    static std::optional<double> ratio(std::int64_t part, std::int64_t whole)
    {
        return whole ? std::optional<double>(double(part) / double(whole)) : std::nullopt;
    }
};

// A unit counts, with all its attempts until the window's end, in the window and group of its
// first attempt; runs without a unit id count as runs only, by their own start.
std::vector<YieldRow> yield(ResultStore &store, const Window &window, GroupBy by,
                            const Calendar &calendar = {});

// A line test; an expectation of the unit ("protocol", "round trip", ...); a cause of runs
// without a verdict ("unanswered", "port", ...).
enum class ParetoKind { Line, Expectation, Incomplete };

struct ParetoRow
{
    std::string group;       // with a grouping: the slot, port, ... of the runs counted
    std::string line;        // a line test's caption, an expectation's or a cause's name
    std::int64_t failed = 0; // units; of a cause, the units with a run it left incomplete
    std::int64_t intermittent = 0;
    ParetoKind kind = ParetoKind::Line;
    std::string code{}; // a line test's stable code
};

// Each group's line tests (every one), then the expectations that failed, most units first, then
// the causes of incomplete and interrupted runs, most units first. A unit counts once a row in
// each group of a run of it that failed; a run without a unit id as a unit of its own.
std::vector<ParetoRow> pareto(ResultStore &store, const Window &window, GroupBy by = GroupBy::None,
                              const Calendar &calendar = {});

// Every run of the window with its line results, oldest first.
void forEachRun(ResultStore &store, const Window &window,
                const std::function<void(const RunRow &, const std::vector<LineResult> &)> &visit);

} // namespace store
