#pragma once

// The plant database's schema, step by step, and the reference a DBA and a dashboard's author
// read: every table, view and column, its meaning and its values.

#include "plantschema.h"

namespace results {

// Each step brings a plant schema of the version before it to the next.
extern const char *const plantSteps[plantSchemaVersion];

// SQL comments, "-- " a line.
extern const char *const plantReference;

} // namespace results
