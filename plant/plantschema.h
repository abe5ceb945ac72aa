#pragma once

// The plant database's schema: its steps, the script a DBA runs, and what push does before it
// sends: it brings the schema up to date only where its role owns the tables.

#include "plantconnection.h"

#include <string>

namespace results {

inline constexpr int plantSchemaVersion = 5;
// The advisory lock every bench PC takes while it looks at or changes the schema.
inline constexpr long plantLockKey = 4279627856;

// The whole script, for any earlier version: what `converter-results plant-schema` prints.
std::string plantSchemaScript();

// In a transaction of its own: the schema checked and, when this role may, brought up to date.
// Throws PlantError, naming the script when the role may not.
void preparePlantSchema(PlantConnection &plant);

} // namespace results
