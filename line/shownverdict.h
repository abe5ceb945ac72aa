#pragma once

// What a slot shows of a run's decision: the engine's own verdict word, and the failed lines and
// expectations, or why there is no verdict.

#include "runreport.h"
#include "slotpanel.h"

#include <QString>

namespace line {

struct ShownVerdict
{
    Shown shown = Shown::Incomplete;
    QString detail;
    bool attempt = false; // the run counts toward the unit's attempts
};

ShownVerdict shownVerdict(const engine::PortSummary &summary);

} // namespace line
