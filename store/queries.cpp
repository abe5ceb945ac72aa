#include "queries.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <span>
#include <tuple>
#include <unordered_map>

namespace store {

namespace {

constexpr const char *noBound = "\x7F";

const std::string &untilOf(const Window &window)
{
    static const std::string open = noBound;
    return window.until.empty() ? open : window.until;
}

std::vector<std::string> linesIn(std::int64_t mask, const std::vector<std::string> &names)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (mask & lineBit(i))
            lines.push_back(names[i]);
    return lines;
}

constexpr const char *runColumns =
    "SELECT run_id, unit_id, attempt, port, operator, station, start_utc, end_utc, verdict, "
    "exit_status, polls, measured, failed_lines, intermittent_lines, message, id, slot, fixture, "
    "adapter, usb_vendor, usb_product, usb_serial, golden, counts_as_attempt, reason, rt_count, "
    "rt_median, rt_p95, rt_max FROM runs ";

RunRow runRow(const Statement &row, const std::vector<std::string> &names)
{
    RunRow run{row.text(0),
               row.text(1),
               int(row.integer(2)),
               row.text(3),
               row.text(4),
               row.text(5),
               row.text(6),
               row.text(7),
               row.text(8),
               int(row.integer(9)),
               int(row.integer(10)),
               int(row.integer(11)),
               {},
               {},
               row.text(14),
               row.text(16),
               row.text(17),
               {row.text(18), row.text(19), row.text(20), row.text(21)},
               row.integer(22) != 0,
               row.integer(23) != 0,
               row.text(24),
               {int(row.integer(25)), row.real(26), row.real(27), row.real(28)}};
    run.failedLines = linesIn(row.integer(12), names);
    run.intermittentLines = linesIn(row.integer(13), names);
    return run;
}

std::vector<RunRow> collect(ResultStore &store, Statement &query)
{
    const auto names = lineNames(store);
    std::vector<RunRow> rows;
    while (query.step())
        rows.push_back(runRow(query, names));
    return rows;
}

// The group of a run by its own start, station, operator, slot...; with prefix "first_", the group
// of a unit by its first attempt's: the units table's own columns, or its first run's as "f".
std::string groupOf(GroupBy by, const std::string &prefix = "", const Calendar &calendar = {})
{
    const std::string run = prefix.empty() ? "" : "f.";
    const std::string at =
        "datetime(" + prefix + "start_utc" + (calendar.local ? ", 'localtime')" : ")");
    switch (by) {
    case GroupBy::None:
        break;
    case GroupBy::Day:
        return calendar.local ? "date(" + at + ")" : "substr(" + prefix + "start_utc, 1, 10)";
    case GroupBy::Shift: {
        // "2026-12-09 22:00": the day the shift started, and its start.
        const auto clock = [](int minutes) {
            char text[8];
            std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60 % 24, minutes % 60);
            return std::string(text);
        };
        const std::vector<int> &starts = calendar.shiftStarts;
        const std::string minute = "(CAST(substr(" + at +
                                   ", 12, 2) AS INTEGER) * 60 + CAST(substr(" + at +
                                   ", 15, 2) AS INTEGER))";
        std::string shift = "CASE";
        for (auto start = starts.rbegin(); start != starts.rend(); ++start)
            shift += " WHEN " + minute + " >= " + std::to_string(*start) + " THEN date(" + at +
                     ") || ' " + clock(*start) + "'";
        return shift + " ELSE date(" + at + ", '-1 day') || ' " +
               clock(starts.empty() ? 0 : starts.back()) + "' END";
    }
    case GroupBy::Station:
        return "coalesce(" + prefix + "station, '')";
    case GroupBy::Operator:
        return "coalesce(" + prefix + "operator, '')";
    case GroupBy::Slot:
        return "coalesce(" + run + "slot, " + run + "port)";
    case GroupBy::Port:
        return run + "port";
    case GroupBy::Fixture:
        return "coalesce(" + run + "fixture, '')";
    case GroupBy::Adapter:
        return "coalesce(" + run + "adapter, " + run + "usb_vendor || ':' || " + run +
               "usb_product || ':' || coalesce(" + run + "usb_serial, ''), '')";
    }
    return "''";
}

// Whether a unit's group is its first run's, not a column of the units table.
bool byFirstRun(GroupBy by)
{
    return by == GroupBy::Slot || by == GroupBy::Port || by == GroupBy::Fixture ||
           by == GroupBy::Adapter;
}

} // namespace

std::vector<std::string> lineNames(ResultStore &store)
{
    std::vector<std::string> names;
    auto query = store.db().prepare("SELECT bit, line FROM line_names ORDER BY bit");
    while (query.step()) {
        names.resize(static_cast<std::size_t>(query.integer(0)) + 1);
        names.back() = query.text(1);
    }
    return names;
}

int attemptsOf(ResultStore &store, const std::string &unitId,
               const std::vector<std::string> &coming, int *forwarded)
{
    Transaction snapshot(store.db(), false);
    auto query = store.db().prepare("SELECT attempts FROM units WHERE unit_id = ?");
    query.bind(1, unitId);
    int attempts = query.step() ? static_cast<int>(query.integer(0)) : 0;
    auto recorded = store.db().prepare("SELECT count(*) FROM runs WHERE run_id = ?");
    for (const std::string &runId : coming) {
        recorded.bind(1, runId);
        attempts += recorded.step() && recorded.integer(0) == 0;
        recorded.reset();
    }
    if (forwarded) {
        auto pushed = store.db().prepare("SELECT count(*) FROM runs WHERE unit_id = ? AND attempt "
                                         "IS NOT NULL AND forwarded = 1");
        pushed.bind(1, unitId);
        *forwarded = pushed.step() ? static_cast<int>(pushed.integer(0)) : 0;
    }
    snapshot.commit();
    return attempts;
}

namespace {

// Whether `a` becomes `b` by one character replaced, added or left out.
bool oneApart(const std::string &a, const std::string &b)
{
    if (a.size() > b.size())
        return oneApart(b, a);
    if (b.size() - a.size() > 1)
        return false;
    std::size_t i = 0;
    while (i < a.size() && a[i] == b[i])
        ++i;
    return a.size() == b.size() ? a.compare(i + 1, std::string::npos, b, i + 1) == 0
                                : a.compare(i, std::string::npos, b, i + 1) == 0;
}

} // namespace

std::vector<std::string> similarUnitIds(ResultStore &store, const std::string &unitId,
                                        std::size_t limit)
{
    std::vector<std::string> similar;
    auto ids = store.db().prepare("SELECT DISTINCT unit_id FROM runs WHERE unit_id IS NOT NULL "
                                  "AND length(unit_id) BETWEEN ?1 - 1 AND ?1 + 1");
    ids.bind(1, static_cast<std::int64_t>(unitId.size()));
    while (similar.size() < limit && ids.step()) {
        const std::string id = ids.text(0);
        if (id != unitId && (unitIdAsFiled(id) == unitIdAsFiled(unitId) || oneApart(id, unitId)))
            similar.push_back(id);
    }
    return similar;
}

std::vector<RunRow> history(ResultStore &store, const std::string &unitId)
{
    auto query =
        store.db().prepare(std::string(runColumns) + "WHERE unit_id = ? ORDER BY start_utc, id");
    query.bind(1, unitId);
    return collect(store, query);
}

std::vector<RunRow> runs(ResultStore &store, const RunFilter &filter)
{
    auto query = store.db().prepare(
        std::string(runColumns) +
        "WHERE start_utc >= ?1 AND start_utc < ?2 AND (?3 IS NULL OR station = ?3) AND "
        "(?4 IS NULL OR verdict = ?4) AND (?5 IS NULL OR unit_id = ?5) ORDER BY start_utc, id");
    query.bind(1, filter.window.since).bind(2, untilOf(filter.window));
    query.bindOptional(3, filter.station).bindOptional(4, filter.verdict);
    query.bindOptional(5, filter.unitId);
    return collect(store, query);
}

std::vector<YieldRow> yield(ResultStore &store, const Window &window, GroupBy by,
                            const Calendar &calendar)
{
    // A unit whose attempts all started before the window's end counts as its row in `units`
    // says; one retested later is counted again from its runs, up to the window's end. The bare
    // `r.verdict` beside max(r.attempt) is the verdict of its latest attempt until then.
    auto units = store.db().prepare(
        "WITH u AS (SELECT units.unit_id, " + groupOf(by, "first_", calendar) +
        " AS grp, first_verdict, attempts, passed_attempts, last_verdict, max_start_utc >= ?2 AS "
        "cut FROM units " +
        (byFirstRun(by) ? "JOIN runs f ON f.unit_id = units.unit_id AND f.attempt = 1 " : "") +
        "WHERE first_start_utc >= ?1 AND first_start_utc < ?2), "
        "c AS (SELECT u.unit_id, count(*) AS attempts, sum(r.verdict = 'pass') AS passed, "
        "max(r.attempt), r.verdict AS last_verdict FROM u JOIN runs r ON r.unit_id = u.unit_id "
        "AND r.attempt IS NOT NULL AND r.start_utc < ?2 WHERE u.cut GROUP BY u.unit_id) "
        "SELECT u.grp, count(*), sum(u.first_verdict = 'pass'), "
        "sum(iif(u.cut, c.last_verdict, u.last_verdict) = 'pass'), "
        "sum(iif(u.cut, c.attempts, u.attempts)), sum(iif(u.cut, c.passed, u.passed_attempts)) "
        "FROM u LEFT JOIN c ON c.unit_id = u.unit_id GROUP BY u.grp");
    units.bind(1, window.since).bind(2, untilOf(window));
    std::map<std::string, YieldRow> rows;
    while (units.step()) {
        YieldRow &row = rows[units.text(0)];
        row = {units.text(0),    units.integer(1), units.integer(4), units.integer(4),
               units.integer(2), units.integer(3), units.integer(5)};
    }
    auto loose = store.db().prepare("SELECT " + groupOf(by, "", calendar) +
                                    " AS grp, count(*), sum(verdict = 'pass') FROM runs "
                                    "WHERE unit_id IS NULL AND polled = 1 AND start_utc >= ?1 "
                                    "AND start_utc < ?2 GROUP BY grp");
    loose.bind(1, window.since).bind(2, untilOf(window));
    while (loose.step()) {
        YieldRow &row = rows[loose.text(0)];
        row.group = loose.text(0);
        row.runs += loose.integer(1);
        row.passedRuns += loose.integer(2);
    }
    std::vector<YieldRow> out;
    for (auto &[group, row] : rows)
        out.push_back(row);
    return out;
}

std::vector<ParetoRow> pareto(ResultStore &store, const Window &window, GroupBy by,
                              const Calendar &calendar)
{
    struct Seen
    {
        std::int64_t failed = 0;
        std::int64_t intermittent = 0;
        std::int64_t expectations = 0;
        std::int64_t causes = 0;
    };
    // A unit's runs that are no attempt of it (a golden unit's, verifying its slot; one failed in
    // a suspect slot, the slot's) are no unit's failure.
    std::map<std::string, std::unordered_map<std::string, Seen>> groups;
    auto query = store.db().prepare(
        "SELECT " + groupOf(by, "", calendar) +
        ", coalesce(unit_id, run_id), failed_lines, intermittent_lines, failed_expectations, "
        "causes, polled FROM runs WHERE verdict != 'pass' AND start_utc >= ?1 AND start_utc < ?2 "
        "AND "
        "golden = 0 AND NOT (polled = 1 AND unit_id IS NOT NULL AND counts_as_attempt = 0)");
    query.bind(1, window.since).bind(2, untilOf(window));
    while (query.step()) {
        Seen &seen = groups[query.text(0)][query.text(1)];
        // An interrupted run, or one whose port did not open, tells only why it has no verdict.
        if (query.integer(6)) {
            seen.failed |= query.integer(2);
            seen.intermittent |= query.integer(3);
            seen.expectations |= query.integer(4);
        }
        seen.causes |= query.integer(5);
    }
    if (groups.empty() && by == GroupBy::None)
        groups[""];
    const auto names = lineNames(store);
    std::vector<ParetoRow> all;
    const auto mostFirst = [](const ParetoRow &a, const ParetoRow &b) {
        if (a.failed + a.intermittent != b.failed + b.intermittent)
            return a.failed + a.intermittent > b.failed + b.intermittent;
        return a.failed > b.failed;
    };
    // The rows of one kind, by bit, with the units that have it.
    const auto rowsOf = [](const std::string &group, ParetoKind kind, const auto &rowNames,
                           const auto &units, std::int64_t Seen::*bits) {
        std::vector<ParetoRow> rows;
        for (std::size_t i = 0; i < rowNames.size(); ++i) {
            ParetoRow row{group, std::string(rowNames[i]), 0, 0, kind};
            for (const auto &[unit, seen] : units)
                row.failed += (seen.*bits & lineBit(i)) ? 1 : 0;
            if (row.failed > 0)
                rows.push_back(std::move(row));
        }
        return rows;
    };
    for (const auto &[group, units] : groups) {
        std::vector<ParetoRow> rows;
        for (std::size_t i = 0; i < names.size(); ++i) {
            rows.push_back({group, names[i], 0, 0, ParetoKind::Line, lineCode(names[i])});
            for (const auto &[unit, seen] : units) {
                rows[i].failed += (seen.failed & lineBit(i)) ? 1 : 0;
                rows[i].intermittent += (seen.intermittent & lineBit(i)) ? 1 : 0;
            }
        }
        for (auto [kind, rowNames, bits] :
             {std::tuple(ParetoKind::Expectation,
                         std::span<const std::string_view>(expectationNames), &Seen::expectations),
              std::tuple(ParetoKind::Incomplete,
                         std::span<const std::string_view>(incompleteCauses), &Seen::causes)}) {
            const std::size_t first = rows.size();
            const auto more = rowsOf(group, kind, rowNames, units, bits);
            rows.insert(rows.end(), more.begin(), more.end());
            std::stable_sort(rows.begin() + std::ptrdiff_t(first), rows.end(), mostFirst);
        }
        const auto lines = rows.begin() + std::ptrdiff_t(names.size());
        std::stable_sort(rows.begin(), lines, mostFirst);
        all.insert(all.end(), rows.begin(), rows.end());
    }
    return all;
}

void forEachRun(ResultStore &store, const Window &window,
                const std::function<void(const RunRow &, const std::vector<LineResult> &)> &visit)
{
    const auto names = lineNames(store);
    auto query =
        store.db().prepare(std::string(runColumns) +
                           "WHERE start_utc >= ?1 AND start_utc < ?2 ORDER BY start_utc, id");
    query.bind(1, window.since).bind(2, untilOf(window));
    auto lines = store.db().prepare(
        "SELECT line, ok, error, verdict, code FROM line_results WHERE run = ? ORDER BY bit");
    std::vector<LineResult> results;
    while (query.step()) {
        results.clear();
        lines.bind(1, query.integer(15));
        while (lines.step())
            results.push_back({lines.text(0), int(lines.integer(1)), int(lines.integer(2)),
                               lines.text(3), lines.text(4)});
        lines.reset();
        visit(runRow(query, names), results);
    }
}

} // namespace store
