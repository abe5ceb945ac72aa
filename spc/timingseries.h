#pragma once

// Each port's (or slot's) runs' median round trips from the results store, oldest first: the
// link's own timing as a measurement, for its control chart.

#include "queries.h"

#include <optional>
#include <string>
#include <vector>

namespace spc {

enum class TimingBy { Port, Slot };

struct TimingPoint
{
    std::string runId;
    std::string start;
    double medianMs = 0;
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
std::vector<TimingSeries> timingSeries(store::ResultStore &store, const store::Window &window,
                                       const std::string &station, TimingBy by);

} // namespace spc
