#pragma once

// converter-results slots and fixtures: which slot of which station is to blame, and how worn
// each slot and fixture is, as a table or JSON.

#include "attribution.h"
#include "fixturelife.h"

#include <string>
#include <vector>

namespace results {

// `lineNames` by bit, for the per-line figures.
std::string slotsTable(const std::vector<attribution::SlotFigures> &slots,
                       const std::vector<std::string> &lineNames);
std::string slotsJson(const std::vector<attribution::SlotFigures> &slots,
                      const std::vector<std::string> &lineNames);

// converter-results fixtures: each slot's and fixture's running and total counts, limits and
// last maintenance.
std::string fixturesTable(const std::vector<store::Life> &lives);
std::string fixturesJson(const std::vector<store::Life> &lives);

} // namespace results
