#pragma once

// A fixture's life: every run is one mating of a unit with its slot's connector. Each slot and
// fixture has a running count (back to zero at its maintenance) and a total (never reset); a
// slot may be blocked until a golden unit passes in it. Plain SQL over the results store.

#include "resultstore.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace store {

struct Maintenance
{
    std::string at; // UTC; empty: never
    std::string byWhom;
    std::string note;
};

struct Life
{
    std::string kind; // "slot" or "fixture"
    std::string station;
    std::string name;         // the slot's or the fixture's
    std::string fixture;      // a slot's fixture, as its latest run had it; empty: none
    std::int64_t running = 0; // runs since its maintenance (a slot's: or its fixture's)
    std::int64_t total = 0;
    std::int64_t warn = 0; // 0: no limit
    std::int64_t alarm = 0;
    Maintenance last{};
    // "ok", "warn" (the running count reached its warning) or "alarm"
    std::string state() const;
};

// Every slot and fixture on record, of `station` when it is not empty: slots first, in order of
// station and name.
std::vector<Life> fixtureLife(ResultStore &store, const std::string &station);

// One slot's: its counts whatever its runs (0 for a slot never used).
Life slotLife(ResultStore &store, const std::string &station, const std::string &slot,
              const std::string &fixture);

// A slot's counters' limits, as the fixture file gives them (0: none).
void setSlotLimits(ResultStore &store, const std::string &station, const std::string &slot,
                   const std::string &fixture, std::int64_t warn, std::int64_t alarm);

// Maintenance of `target` (a slot of the station, else a fixture on record): its running count
// starts again. Returns "slot" or "fixture"; an empty text when neither is on record.
std::string recordMaintenance(ResultStore &store, const std::string &station,
                              const std::string &target, const std::string &byWhom,
                              const std::string &note, const std::string &at,
                              const std::string &maintenanceId);

// The station's blocked slots: each with why, until a golden unit passes there.
std::map<std::string, std::string> slotBlocks(ResultStore &store, const std::string &station);
// Blocks the slot with `reason`, or lifts its block when `reason` is empty.
void setSlotBlock(ResultStore &store, const std::string &station, const std::string &slot,
                  const std::string &reason, const std::string &at);

} // namespace store
