#pragma once

// Where each slot of a line stands, as the line's window needs it at every scan: its state and
// why, its counters, whether it waits for a golden unit. Read from the store off the window's
// thread; a scan only looks it up.

#include "attribution.h"
#include "fixturelife.h"

#include <map>
#include <string>
#include <vector>

namespace attribution {

struct Standing
{
    State state = State::Ok;
    std::string why; // the worst line's figures, or the marks: the evidence in a few words
    store::Life life;
    std::string block;          // why the slot waits for a golden unit; empty: it does not
    std::string lastGoldenPass; // UTC; empty: never
    int runsSinceGolden = 0;    // polled runs since then (all of them when never)
};

struct LineSlot
{
    std::string name;
    std::string fixture;
};

// Each slot's standing, by name. Its rates and marks are weighed over the runs since its last
// maintenance (or its fixture's), against the other slots of the station over the same period.
std::map<std::string, Standing> readStanding(store::ResultStore &store, const std::string &station,
                                             const std::vector<LineSlot> &slots,
                                             const std::vector<std::string> &lineNames,
                                             const Settings &settings = {});

} // namespace attribution
