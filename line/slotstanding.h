#pragma once

// What the line makes of each slot's standing: the band it shows, the scans it refuses, the
// blocks it puts on a slot until a golden unit passes there, and where a unit failed in a
// suspect slot is retested.

#include "lineoptions.h"
#include "standing.h"

#include <QString>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace line {

using Standings = std::map<std::string, attribution::Standing>;

// The band under a slot's title, empty for none; `alarm` for a red one.
QString bandOf(const attribution::Standing &standing, bool &alarm);

// Why a scan of a unit (`golden`: a golden unit) is refused in the slot for its standing; empty
// when it is not.
QString standingRefusal(const QString &slot, const attribution::Standing &standing, bool golden);

// Reads every slot's standing and, with --golden-every, puts on record the blocks due now: every
// slot at start-up, a slot whose golden unit is older than the period, one turned suspect since
// `before`, one at its counter's alarm. Runs off the window's thread; throws StoreError.
Standings readAndBlock(store::ResultStore &store, const Options &options,
                       const std::string &station, const Standings &before, bool startUp,
                       std::chrono::system_clock::time_point now);

// A golden unit's run, recorded: a pass lifts the slot's block, anything else keeps the slot
// blocked, with why.
void afterGolden(store::ResultStore &store, const std::string &station, const std::string &slot,
                 bool passed, std::chrono::system_clock::time_point now);

} // namespace line
