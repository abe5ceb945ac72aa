#include "resultstables.h"

#include "terminaltext.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace results {

namespace {

using cli::jsonString;
using cli::optionalJson;

// "–" when there is no figure: a period without units has no yield, not 0 %.
std::string percent(std::optional<double> fraction)
{
    if (!fraction)
        return "\u2013";
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%", *fraction * 100);
    return text;
}

std::string fraction(std::optional<double> value)
{
    if (!value)
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", *value);
    return text;
}

std::string jsonArray(const std::vector<std::string> &items)
{
    std::string out;
    for (const std::string &item : items)
        out += (out.empty() ? "" : ",") + jsonString(item);
    return "[" + out + "]";
}

std::string decimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string roundTripJson(const store::RoundTripFigures &trip)
{
    if (trip.count == 0)
        return "null";
    return "{\"count\":" + std::to_string(trip.count) + ",\"median\":" + decimal(trip.median) +
           ",\"p95\":" + decimal(trip.p95) + ",\"max\":" + decimal(trip.max) + "}";
}

std::string_view kindName(store::ParetoKind kind)
{
    switch (kind) {
    case store::ParetoKind::Line:
        return "line";
    case store::ParetoKind::Expectation:
        return "expectation";
    case store::ParetoKind::Incomplete:
        break;
    }
    return "incomplete";
}

std::string runJsonFields(const store::RunRow &run)
{
    return "\"runId\":" + jsonString(run.runId) + ",\"unitId\":" + optionalJson(run.unitId) +
           ",\"attempt\":" + (run.attempt ? std::to_string(run.attempt) : "null") +
           ",\"start\":" + jsonString(run.start) + ",\"end\":" + jsonString(run.end) +
           ",\"station\":" + optionalJson(run.stationName) +
           ",\"operator\":" + optionalJson(run.operatorName) + ",\"port\":" + jsonString(run.port) +
           ",\"slot\":" + optionalJson(run.slot) + ",\"fixture\":" + optionalJson(run.fixture) +
           ",\"adapter\":" + cli::adapterJson(run.adapter) +
           ",\"golden\":" + (run.golden ? "true" : "false") +
           ",\"countsAsAttempt\":" + (run.countsAsAttempt ? "true" : "false") +
           ",\"verdict\":" + jsonString(run.verdict) +
           ",\"exitStatus\":" + std::to_string(run.exitStatus) +
           ",\"polls\":" + std::to_string(run.polls) +
           ",\"measured\":" + std::to_string(run.measured) +
           ",\"failedLines\":" + jsonArray(run.failedLines) +
           ",\"intermittentLines\":" + jsonArray(run.intermittentLines) +
           ",\"reason\":" + optionalJson(run.reason) +
           ",\"roundTripMs\":" + roundTripJson(run.roundTrip);
}

// The zone days are told in, as TZ names it.
std::string zoneName()
{
    const char *zone = std::getenv("TZ");
    return !zone || !*zone ? "local" : std::string_view(zone) == "UTC0" ? "UTC" : zone;
}

std::string groupName(store::GroupBy by)
{
    switch (by) {
    case store::GroupBy::Day:
        return "DAY (" + zoneName() + ")";
    case store::GroupBy::Shift:
        return "SHIFT (" + zoneName() + ")";
    case store::GroupBy::Station:
        return "STATION";
    case store::GroupBy::Operator:
        return "OPERATOR";
    case store::GroupBy::Slot:
        return "SLOT";
    case store::GroupBy::Port:
        return "PORT";
    case store::GroupBy::Fixture:
        return "FIXTURE";
    case store::GroupBy::Adapter:
        return "ADAPTER";
    case store::GroupBy::None:
        break;
    }
    return "";
}

std::string csvCell(std::string raw)
{
    std::string text = cli::visible(raw);
    // A cell that starts as a formula would be run by the spreadsheet that opens the file.
    if (!text.empty() && std::string("=+-@\t\r").find(text.front()) != std::string::npos)
        text.insert(0, "'");
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    std::string out = "\"";
    for (const char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

} // namespace

std::string table(const std::vector<std::vector<std::string>> &rows)
{
    std::vector<std::size_t> widths;
    std::vector<std::vector<std::string>> shown;
    for (const auto &row : rows) {
        auto &cells = shown.emplace_back();
        for (std::size_t i = 0; i < row.size(); ++i) {
            cells.push_back(cli::printable(row[i], 200));
            widths.resize(std::max(widths.size(), i + 1));
            widths[i] = std::max(widths[i], cli::displayWidth(cells.back()));
        }
    }
    std::string out;
    for (const auto &cells : shown) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i)
            line += cells[i] + (i + 1 < cells.size()
                                    ? std::string(widths[i] - cli::displayWidth(cells[i]) + 2, ' ')
                                    : "");
        out += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    }
    return out;
}

std::string runsTable(const std::vector<store::RunRow> &runs, bool withUnit)
{
    std::vector<std::vector<std::string>> rows = {
        {"ATTEMPT", "RUN ID", "START (UTC)", "STATION", "OPERATOR", "VERDICT", "REASON"}};
    if (withUnit)
        rows.front().insert(rows.front().begin(), "UNIT");
    for (const store::RunRow &run : runs) {
        rows.push_back({run.attempt ? std::to_string(run.attempt) : "-", run.runId,
                        run.start.substr(0, 19), run.stationName, run.operatorName, run.verdict,
                        run.reason.empty() ? "-" : run.reason});
        if (withUnit)
            rows.back().insert(rows.back().begin(), run.unitId.empty() ? "-" : run.unitId);
    }
    return table(rows);
}

std::string runsJson(const std::vector<store::RunRow> &runs)
{
    std::string out;
    for (const store::RunRow &run : runs)
        out += std::string(out.empty() ? "" : ",\n") + "{" + runJsonFields(run) + "}";
    return "[" + out + "]\n";
}

std::string yieldTable(const std::vector<store::YieldRow> &rows, store::GroupBy by)
{
    std::vector<std::vector<std::string>> cells = {
        {"UNITS", "RUNS", "FIRST-PASS", "LAST-PASS", "RUN YIELD", "RETEST RATE"}};
    if (by != store::GroupBy::None)
        cells.front().insert(cells.front().begin(), groupName(by));
    const std::vector<store::YieldRow> none = {store::YieldRow{}};
    for (const store::YieldRow &row : rows.empty() ? none : rows) {
        cells.push_back({std::to_string(row.units), std::to_string(row.runs), percent(row.fpy()),
                         percent(row.lpy()), percent(row.runYield()), percent(row.retestRate())});
        if (by != store::GroupBy::None)
            cells.back().insert(cells.back().begin(), row.group.empty() ? "-" : row.group);
    }
    return table(cells);
}

std::string yieldJson(const std::vector<store::YieldRow> &rows, store::GroupBy by)
{
    const auto object = [by](const store::YieldRow &row) {
        return "{" +
               (by == store::GroupBy::None ? "" : "\"group\":" + jsonString(row.group) + ",") +
               "\"units\":" + std::to_string(row.units) + ",\"runs\":" + std::to_string(row.runs) +
               ",\"fpy\":" + fraction(row.fpy()) + ",\"lpy\":" + fraction(row.lpy()) +
               ",\"try\":" + fraction(row.runYield()) +
               ",\"retestRate\":" + fraction(row.retestRate()) + "}";
    };
    if (by == store::GroupBy::None)
        return object(rows.empty() ? store::YieldRow{} : rows.front()) + "\n";
    std::string out;
    for (const store::YieldRow &row : rows)
        out += std::string(out.empty() ? "" : ",\n") + object(row);
    return "[" + out + "]\n";
}

std::string paretoTable(const std::vector<store::ParetoRow> &rows, store::GroupBy by)
{
    // The line tests and expectations the units failed; under their own heading, why runs were
    // left without a verdict.
    std::vector<std::vector<std::string>> failed = {
        {"LINE TEST OR EXPECTATION", "CODE", "UNITS FAILED", "UNITS INTERMITTENT"}};
    std::vector<std::vector<std::string>> incomplete = {{"NO VERDICT: CAUSE", "UNITS"}};
    for (const store::ParetoRow &row : rows) {
        auto &cells = row.kind == store::ParetoKind::Incomplete ? incomplete : failed;
        if (row.kind == store::ParetoKind::Incomplete)
            cells.push_back({row.line, std::to_string(row.failed)});
        else
            cells.push_back({row.line, row.code.empty() ? "-" : row.code,
                             std::to_string(row.failed), std::to_string(row.intermittent)});
        if (by != store::GroupBy::None)
            cells.back().insert(cells.back().begin(), row.group.empty() ? "-" : row.group);
    }
    for (auto *cells : {&failed, &incomplete})
        if (by != store::GroupBy::None)
            cells->front().insert(cells->front().begin(), groupName(by));
    return table(failed) + (incomplete.size() > 1 ? "\n" + table(incomplete) : "");
}

std::string paretoJson(const std::vector<store::ParetoRow> &rows, store::GroupBy by)
{
    std::string out;
    for (const store::ParetoRow &row : rows)
        out += std::string(out.empty() ? "" : ",\n") + "{" +
               (by == store::GroupBy::None ? "" : "\"group\":" + jsonString(row.group) + ",") +
               "\"kind\":" + jsonString(kindName(row.kind)) + ",\"line\":" + jsonString(row.line) +
               (row.code.empty() ? "" : ",\"code\":" + jsonString(row.code)) +
               ",\"failed\":" + std::to_string(row.failed) +
               ",\"intermittent\":" + std::to_string(row.intermittent) + "}";
    return "[" + out + "]\n";
}

std::string csvHeader()
{
    return "run_id,unit_id,attempt,start_utc,end_utc,station,operator,port,slot,fixture,adapter,"
           "usb_vendor,usb_product,usb_serial,golden,counts_as_attempt,verdict,exit_status,polls,"
           "measured,reason,rt_count,rt_median_ms,rt_p95_ms,rt_max_ms,line,line_code,ok,error,"
           "line_verdict\n";
}

std::string csvRows(const store::RunRow &run, const std::vector<store::LineResult> &lines)
{
    std::string head;
    for (const std::string &cell : {run.runId,
                                    run.unitId,
                                    run.attempt ? std::to_string(run.attempt) : std::string(),
                                    run.start,
                                    run.end,
                                    run.stationName,
                                    run.operatorName,
                                    run.port,
                                    run.slot,
                                    run.fixture,
                                    run.adapter.byId,
                                    run.adapter.vendor,
                                    run.adapter.product,
                                    run.adapter.serial,
                                    std::string(run.golden ? "1" : "0"),
                                    std::string(run.countsAsAttempt ? "1" : "0"),
                                    run.verdict,
                                    std::to_string(run.exitStatus),
                                    std::to_string(run.polls),
                                    std::to_string(run.measured),
                                    run.reason,
                                    std::to_string(run.roundTrip.count),
                                    run.roundTrip.count ? decimal(run.roundTrip.median) : "",
                                    run.roundTrip.count ? decimal(run.roundTrip.p95) : "",
                                    run.roundTrip.count ? decimal(run.roundTrip.max) : ""})
        head += csvCell(cell) + ",";
    std::string out;
    for (const store::LineResult &line : lines)
        out += head + csvCell(line.line) + "," + csvCell(line.code) + "," +
               std::to_string(line.ok) + "," + std::to_string(line.error) + "," +
               csvCell(line.verdict) + "\n";
    return out;
}

std::string jsonLine(const store::RunRow &run, const std::vector<store::LineResult> &lines)
{
    std::string out =
        "{" + runJsonFields(run) + ",\"message\":" + jsonString(run.message) + ",\"lines\":[";
    for (std::size_t i = 0; i < lines.size(); ++i)
        out += std::string(i ? "," : "") + "{\"line\":" + jsonString(lines[i].line) +
               ",\"code\":" + jsonString(lines[i].code) + ",\"ok\":" + std::to_string(lines[i].ok) +
               ",\"error\":" + std::to_string(lines[i].error) +
               ",\"verdict\":" + jsonString(lines[i].verdict) + "}";
    return out + "]}\n";
}

} // namespace results
