#pragma once

// The store's runs copied into the plant's PostgreSQL database, each batch of them in one
// transaction there, marked as forwarded here only once the server has committed them.

#include "plantconnection.h"
#include "resultstore.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace results {

struct PushOptions
{
    int batchSize = 1000;
    std::chrono::milliseconds timeout{30000}; // for connecting, and each statement after
    bool retryHeld = false;                   // send the runs set aside before once more
};

struct PushCount
{
    std::int64_t sent = 0;      // runs sent and committed by the server
    std::int64_t alreadyIn = 0; // of those, runs the server held before
    std::int64_t setAside = 0;  // runs the server refused for their data, held back here
};

// Throws PlantError, or store::StoreError for the local store; what was committed before a
// failure stays marked, the rest is sent by the next push. A run the server refuses for its data
// is set aside with the server's reason (`held`), and the runs after it are sent.
PushCount push(store::ResultStore &store, const std::string &url, const PushOptions &options);
// The same over a connection kept open, as converter-line keeps one.
PushCount push(store::ResultStore &store, PlantConnection &plant, const PushOptions &options);

// A run set aside: the plant's database refused it.
struct HeldRun
{
    std::string runId;
    std::string unitId;
    std::string start;
    std::string reason;
};

std::vector<HeldRun> heldRuns(store::ResultStore &store);

} // namespace results
