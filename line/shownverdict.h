#pragma once

// What a slot shows of a run's decision: the engine's own verdict word, the failed lines and
// expectations or why there is no verdict, and what the operator does with the unit.

#include "runreport.h"
#include "slotpanel.h"

#include <QString>

namespace line {

struct ShownVerdict
{
    Shown shown = Shown::Incomplete;
    QString detail;       // what failed, or why there is no verdict
    QString disposition;  // what to do with the unit, in the operator's words
    bool attempt = false; // the run counts toward the unit's attempts
};

ShownVerdict shownVerdict(const engine::PortSummary &summary);

} // namespace line
