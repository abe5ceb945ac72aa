#pragma once

// Each port's (or slot's) runs' median round trips from the results store, oldest first: the
// link's own timing as a measurement, for its control chart.

#include "queries.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace spc {

enum class TimingBy { Port, Slot };

struct TimingPoint
{
    std::int64_t id = 0; // the run's row in the store
    std::string start;
    double medianMs = 0;
    std::string runId{}; // read only for the points asked for: see runIdsOf
};

struct TimingSeries
{
    std::string station; // empty: none on record
    std::string group;   // the port, or the slot's name (else its port)
    std::vector<TimingPoint> points;
    std::optional<double> limitMs; // the round-trip limit the latest run was held to, if any
};

// The runs of the window with a measured round trip, golden units' included: the link is
// measured whatever the unit. `station` empty: every one.
// Read from the store's timing index alone; the points' run ids are left empty.
std::vector<TimingSeries> timingSeries(store::ResultStore &store, const store::Window &window,
                                       const std::string &station, TimingBy by);

// Fills in the run id of each point `wanted` says.
void runIdsOf(store::ResultStore &store, std::vector<TimingSeries> &series,
              const std::function<bool(const TimingSeries &, std::size_t)> &wanted);

} // namespace spc
