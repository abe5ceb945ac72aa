#include "controlchart.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace spc {

namespace {

// Whether `count` of the last `of` points up to `end` lie beyond `sigmas` on one side; which.
std::optional<bool> beyond(const std::vector<double> &values, std::size_t end, std::size_t of,
                           std::size_t count, double sigmas, const ImrChart &chart)
{
    if (end + 1 < of)
        return std::nullopt;
    std::size_t above = 0, below = 0;
    for (std::size_t i = end + 1 - of; i <= end; ++i) {
        above += values[i] > chart.centre + sigmas * chart.sigmaWithin;
        below += values[i] < chart.centre - sigmas * chart.sigmaWithin;
    }
    // The point that completes the pattern is one of it.
    const bool lastAbove = values[end] > chart.centre + sigmas * chart.sigmaWithin;
    const bool lastBelow = values[end] < chart.centre - sigmas * chart.sigmaWithin;
    if (above >= count && lastAbove)
        return true;
    if (below >= count && lastBelow)
        return false;
    return std::nullopt;
}

} // namespace

std::optional<ImrChart> imrChart(const std::vector<double> &values,
                                 std::optional<double> upperLimit, std::size_t baseline)
{
    if (values.size() < 2)
        return std::nullopt;
    ImrChart chart;
    chart.points = values.size();
    chart.baseline = std::clamp<std::size_t>(baseline, 2, values.size());
    const auto first = values.begin(), last = first + std::ptrdiff_t(chart.baseline);
    chart.centre = std::accumulate(first, last, 0.0) / double(chart.baseline);
    double ranges = 0;
    for (auto at = first + 1; at != last; ++at)
        ranges += std::fabs(*at - *(at - 1));
    chart.meanMovingRange = ranges / double(chart.baseline - 1);
    chart.sigmaWithin = chart.meanMovingRange / d2;
    chart.lower = chart.centre - 3 * chart.sigmaWithin;
    chart.upper = chart.centre + 3 * chart.sigmaWithin;
    chart.movingRangeUpper = d4 * chart.meanMovingRange;

    chart.mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    double squares = 0;
    for (const double value : values)
        squares += (value - chart.mean) * (value - chart.mean);
    chart.sigmaOverall = std::sqrt(squares / double(values.size() - 1));
    if (upperLimit && values.size() >= capabilityPoints) {
        if (chart.sigmaWithin > 0)
            chart.cpu = (*upperLimit - chart.mean) / (3 * chart.sigmaWithin);
        if (chart.sigmaOverall > 0)
            chart.ppu = (*upperLimit - chart.mean) / (3 * chart.sigmaOverall);
    }

    // Without spread every point sits on the centre line: no rule can tell anything.
    if (chart.sigmaWithin <= 0)
        return chart;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto hit = [&](int rule, std::optional<bool> side) {
            if (side)
                chart.hits.push_back({rule, i, *side});
        };
        hit(1, beyond(values, i, 1, 1, 3, chart));
        hit(2, beyond(values, i, 3, 2, 2, chart));
        hit(3, beyond(values, i, 5, 4, 1, chart));
        hit(4, beyond(values, i, 8, 8, 0, chart));
    }
    return chart;
}

} // namespace spc
