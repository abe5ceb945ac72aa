#pragma once

// converter-results slots: which slot of which station is to blame, as a table or JSON.

#include "attribution.h"

#include <string>
#include <vector>

namespace results {

// `lineNames` by bit, for the per-line figures.
std::string slotsTable(const std::vector<attribution::SlotFigures> &slots,
                       const std::vector<std::string> &lineNames);
std::string slotsJson(const std::vector<attribution::SlotFigures> &slots,
                      const std::vector<std::string> &lineNames);

} // namespace results
