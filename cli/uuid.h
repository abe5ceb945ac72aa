#pragma once

#include <string>

namespace cli {

// A random (version 4) UUID, such as "3f2b8c1e-9d4a-4e7b-a1c2-5d6e7f809a1b": a run's identity,
// unique without a registry to ask.
std::string randomUuid();

} // namespace cli
