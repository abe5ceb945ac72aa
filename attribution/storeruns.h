#pragma once

// The results store's runs as attribution reads them.

#include "attribution.h"
#include "queries.h"
#include "resultstore.h"

#include <string>
#include <vector>

namespace attribution {

// The polled runs with a verdict on the lines that started in the window, of `station` when it
// is not empty, in the order recorded. A run without a slot's name is its port's. Read lean, for a
// million of them: a run's id is "#" and its row in the store, its port only when it has no
// slot's name, its start left out.
std::vector<Run> storedRuns(store::ResultStore &store, const store::Window &window,
                            const std::string &station);

// attribute() over storedRuns(), each slot's port and the marks' run ids then read for the few
// runs they name.
std::vector<SlotFigures> attributeStored(store::ResultStore &store, const store::Window &window,
                                         const std::string &station, const Settings &settings = {});

} // namespace attribution
