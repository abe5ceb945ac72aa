#pragma once

// The store's schema, step by step: each step brings a store of the version before it to the
// next, and one transaction runs every step a store lacks.

#include "resultstore.h"

namespace store {

extern const char *const migrations[schemaVersion];

} // namespace store
