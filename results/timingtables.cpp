#include "timingtables.h"

#include "resultstables.h"
#include "terminaltext.h"

#include <cstdio>

namespace results {

namespace {

std::string number(double value, const char *format = "%.3f")
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string optionalNumber(const std::optional<double> &value, const char *none)
{
    return value ? number(*value, "%.2f") : none;
}

const char *ruleText(int rule)
{
    switch (rule) {
    case 1:
        return "one point beyond 3 sigma";
    case 2:
        return "two of three beyond 2 sigma on one side";
    case 3:
        return "four of five beyond 1 sigma on one side";
    default:
        return "eight in a row on one side of the centre";
    }
}

} // namespace

std::vector<TimingChart> timingCharts(store::ResultStore &store,
                                      std::vector<spc::TimingSeries> series,
                                      std::optional<double> limitMs, bool everyRunId)
{
    std::vector<TimingChart> charts;
    std::vector<std::vector<bool>> fired;
    for (spc::TimingSeries &one : series) {
        if (limitMs)
            one.limitMs = limitMs;
        std::vector<double> values;
        for (const spc::TimingPoint &point : one.points)
            values.push_back(point.medianMs);
        charts.push_back({{}, spc::imrChart(values, one.limitMs)});
        fired.emplace_back(values.size());
        if (charts.back().chart)
            for (const spc::RuleHit &hit : charts.back().chart->hits)
                fired.back()[hit.point] = true;
    }
    spc::runIdsOf(store, series, [&](const spc::TimingSeries &one, std::size_t point) {
        return everyRunId || fired[std::size_t(&one - series.data())][point];
    });
    for (std::size_t i = 0; i < series.size(); ++i)
        charts[i].series = std::move(series[i]);
    return charts;
}

std::string timingTable(const std::vector<TimingChart> &charts, bool bySlot)
{
    std::vector<std::vector<std::string>> rows = {
        {"STATION", bySlot ? "SLOT" : "PORT", "RUNS", "CENTRE MS", "LCL", "UCL", "MR-BAR", "MR UCL",
         "SIGMA WITHIN", "LIMIT", "CPU (WITHIN)", "PPU (OVERALL)", "RULES FIRED"}};
    std::string fired;
    for (const TimingChart &one : charts) {
        const auto &chart = one.chart;
        const bool capable = chart && chart->points >= spc::capabilityPoints;
        std::string rules;
        if (chart)
            for (const spc::RuleHit &hit : chart->hits) {
                rules += (rules.empty() ? "" : ",") + std::to_string(hit.rule);
                const spc::TimingPoint &point = one.series.points[hit.point];
                fired += "  " + cli::printable(one.series.group, 200) + ": rule " +
                         std::to_string(hit.rule) + " (" + ruleText(hit.rule) + ", " +
                         (hit.above ? "above" : "below") + ") at run " +
                         std::to_string(hit.point + 1) + ", " + point.start + ", " +
                         number(point.medianMs) + " ms, " + point.runId + "\n";
            }
        rows.push_back(
            {one.series.station.empty() ? "-" : one.series.station, one.series.group,
             std::to_string(one.series.points.size()), chart ? number(chart->centre) : "-",
             chart ? number(chart->lower) : "-", chart ? number(chart->upper) : "-",
             chart ? number(chart->meanMovingRange) : "-",
             chart ? number(chart->movingRangeUpper) : "-",
             chart ? number(chart->sigmaWithin) : "-", optionalNumber(one.series.limitMs, "-"),
             capable ? optionalNumber(chart->cpu, "-") : "(< 25 runs)",
             capable ? optionalNumber(chart->ppu, "-") : "(< 25 runs)",
             rules.empty() ? "-" : rules});
    }
    return table(rows) + (fired.empty() ? "" : "\nRules fired:\n" + fired);
}

std::string timingJson(const std::vector<TimingChart> &charts, bool bySlot)
{
    std::string out;
    for (const TimingChart &one : charts) {
        const auto &chart = one.chart;
        const auto figure = [&](double value) {
            return chart ? number(value, "%.4f") : std::string("null");
        };
        const bool capable = chart && chart->points >= spc::capabilityPoints;
        const auto capability = [&](const std::optional<double> &value) {
            return capable && value ? number(*value, "%.4f") : std::string("null");
        };
        std::string points, hits;
        for (std::size_t i = 0; i < one.series.points.size(); ++i) {
            const spc::TimingPoint &point = one.series.points[i];
            const double range =
                i ? std::abs(point.medianMs - one.series.points[i - 1].medianMs) : 0;
            points += std::string(i ? "," : "") + "{\"runId\":" + cli::jsonString(point.runId) +
                      ",\"start\":" + cli::jsonString(point.start) +
                      ",\"medianMs\":" + number(point.medianMs, "%.4f") +
                      ",\"movingRange\":" + (i ? number(range, "%.4f") : "null") + "}";
        }
        if (chart)
            for (const spc::RuleHit &hit : chart->hits)
                hits += std::string(hits.empty() ? "" : ",") +
                        "{\"rule\":" + std::to_string(hit.rule) +
                        ",\"run\":" + std::to_string(hit.point + 1) +
                        ",\"runId\":" + cli::jsonString(one.series.points[hit.point].runId) +
                        ",\"side\":" + (hit.above ? "\"above\"" : "\"below\"") + "}";
        out += std::string(out.empty() ? "" : ",\n") +
               "{\"station\":" + cli::optionalJson(one.series.station) + ",\"" +
               (bySlot ? "slot" : "port") + "\":" + cli::jsonString(one.series.group) +
               ",\"runs\":" + std::to_string(one.series.points.size()) +
               ",\"baseline\":" + (chart ? std::to_string(chart->baseline) : "null") +
               ",\"centre\":" + figure(chart ? chart->centre : 0) +
               ",\"lcl\":" + figure(chart ? chart->lower : 0) +
               ",\"ucl\":" + figure(chart ? chart->upper : 0) +
               ",\"meanMovingRange\":" + figure(chart ? chart->meanMovingRange : 0) +
               ",\"movingRangeUcl\":" + figure(chart ? chart->movingRangeUpper : 0) +
               ",\"sigmaWithin\":" + figure(chart ? chart->sigmaWithin : 0) +
               ",\"sigmaOverall\":" + figure(chart ? chart->sigmaOverall : 0) + ",\"limitMs\":" +
               (one.series.limitMs ? number(*one.series.limitMs, "%.4f") : "null") +
               ",\"cpuWithin\":" + capability(chart ? chart->cpu : std::nullopt) +
               ",\"ppuOverall\":" + capability(chart ? chart->ppu : std::nullopt) +
               ",\"rulesFired\":[" + hits + "],\"points\":[" + points + "]}";
    }
    return "[" + out + "]\n";
}

} // namespace results
