#pragma once

// The results store's runs as attribution reads them.

#include "attribution.h"
#include "queries.h"
#include "resultstore.h"

#include <string>
#include <vector>

namespace attribution {

// What a "slot" of the attribution is: the slot itself (its name, else its port), the fixture,
// or the adapter (its by-id name, else vendor:product:serial). Runs without a fixture or an
// adapter on record count for none.
enum class Part { Slot, Fixture, Adapter };

// The polled runs with a verdict on the lines that started in the window, of `station` when it
// is not empty, in order of start: those of the units that failed or were intermittent in the
// window, and the failing runs without a unit id. A run without a slot's name is its port's. Read
// lean: a run's id is "#" and its row in the store, its port only when it has no slot's name.
std::vector<Run> storedRuns(store::ResultStore &store, const store::Window &window,
                            const std::string &station, Part part = Part::Slot);

// Each slot's polled runs with a verdict in the window, its latest run and that run's port.
std::vector<SlotCount> slotCounts(store::ResultStore &store, const store::Window &window,
                                  const std::string &station, Part part = Part::Slot);

// attributeCounted() over slotCounts() and storedRuns(), the marks' run ids then read for the
// few runs they name.
std::vector<SlotFigures> attributeStored(store::ResultStore &store, const store::Window &window,
                                         const std::string &station, const Settings &settings = {},
                                         Part part = Part::Slot);

// attributeStored(), each slot (or fixture) weighed over its runs since its last maintenance
// (a slot's: or its fixture's) when that is later than the window's start, against the other
// slots of its station over the same period.
std::vector<SlotFigures> attributeSinceMaintenance(store::ResultStore &store,
                                                   const store::Window &window,
                                                   const std::string &station,
                                                   const Settings &settings = {},
                                                   Part part = Part::Slot);

} // namespace attribution
