#pragma once

// converter-results timing: each port's control chart of its runs' median round trips, as a
// table or JSON.

#include "controlchart.h"
#include "timingseries.h"

#include <optional>
#include <string>
#include <vector>

namespace results {

struct TimingChart
{
    spc::TimingSeries series;
    std::optional<spc::ImrChart> chart; // none for fewer than two runs
};

// `limitMs`: the upper limit capability is taken against, before each series' own.
std::vector<TimingChart> timingCharts(std::vector<spc::TimingSeries> series,
                                      std::optional<double> limitMs);

std::string timingTable(const std::vector<TimingChart> &charts, bool bySlot);
std::string timingJson(const std::vector<TimingChart> &charts, bool bySlot);

} // namespace results
