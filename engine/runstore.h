#pragma once

// A check's runs, recorded in the results store.

#include "resultstore.h"
#include "runreport.h"

#include <optional>
#include <string>
#include <vector>

namespace engine {

// The run as the store keeps it: what its summary reports, and each poll's bytes.
store::StoredRun storedRun(const PortSummary &port, const RunIdentity &identity);

// Where runs are recorded: --store FILE, or the account's own store; none under --no-store.
struct StoreChoice
{
    std::string path;     // empty with `recorded`: no folder for the default store was found
    bool created = false; // the default: its folder is made on first use
    bool recorded = false;
};

// Whether the store may be written, before any port is polled: the reason when it is not ours,
// or its folder cannot be made, or (`probeWrite`) it or its folder cannot be written now.
std::optional<std::string> storeRefusedBeforeRun(const StoreChoice &choice, bool probeWrite = true);

// Records every port's run in one transaction each; the reason and the status (73 for a store
// that is not ours, 74 for one that cannot be written) when one is not recorded.
struct StoreFailure
{
    std::string reason;
    int status = 0;
};
// `attempts`, when given, gets each run's attempt number (0 for a run that is not an attempt).
std::optional<StoreFailure> recordRuns(const StoreChoice &choice,
                                       const std::vector<PortSummary> &ports,
                                       const RunIdentity &identity,
                                       std::vector<int> *attempts = nullptr);

} // namespace engine
