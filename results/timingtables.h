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

// `limitMs`: the upper limit capability is taken against, before each series' own. The run ids
// of the points where a rule fired are read, and with `everyRunId` those of every point.
std::vector<TimingChart> timingCharts(store::ResultStore &store,
                                      std::vector<spc::TimingSeries> series,
                                      std::optional<double> limitMs, bool everyRunId);

std::string timingTable(const std::vector<TimingChart> &charts, bool bySlot);
std::string timingJson(const std::vector<TimingChart> &charts, bool bySlot);

} // namespace results
