#pragma once

// The store's runs copied into the plant's PostgreSQL database, each batch of them in one
// transaction there, marked as forwarded here only once the server has committed them.

#include "resultstore.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace results {

// The plant's database is away, or refused what was sent.
class PlantError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct PushCount
{
    std::int64_t sent = 0;      // runs sent and committed by the server
    std::int64_t alreadyIn = 0; // of those, runs the server held before
};

// Throws PlantError, or store::StoreError for the local store; what was committed before a
// failure stays marked, the rest is sent by the next push.
PushCount push(store::ResultStore &store, const std::string &url, int batchSize);

} // namespace results
