#pragma once

// What converter-results prints: a table for people, JSON for programs, CSV for a spreadsheet.

#include "queries.h"

#include <string>
#include <vector>

namespace results {

// Columns padded to their widest cell, text from the store made safe for a terminal.
std::string table(const std::vector<std::vector<std::string>> &rows);

std::string runsTable(const std::vector<store::RunRow> &runs, bool withUnit);
// An array of runs: runId, unitId, attempt, start, end, station, operator, port, verdict,
// exitStatus, failedLines, intermittentLines.
std::string runsJson(const std::vector<store::RunRow> &runs);

std::string yieldTable(const std::vector<store::YieldRow> &rows, store::GroupBy by);
// One object of figures; with a grouping, an array of them, each with its "group".
std::string yieldJson(const std::vector<store::YieldRow> &rows, store::GroupBy by);

// With a grouping, each row led by its group.
std::string paretoTable(const std::vector<store::ParetoRow> &rows, store::GroupBy by);
std::string paretoJson(const std::vector<store::ParetoRow> &rows, store::GroupBy by);

// One CSV row a line result, under a header; cells a spreadsheet would run as a formula are
// quoted as text.
std::string csvHeader();
std::string csvRows(const store::RunRow &run, const std::vector<store::LineResult> &lines);
// One JSON object a run, its line results inside.
std::string jsonLine(const store::RunRow &run, const std::vector<store::LineResult> &lines);

} // namespace results
