#pragma once

// The reports of a whole run: one summary a port (JSON), a JUnit XML report of every port, and
// the closing table.

#include "adapteridentity.h"
#include "runverdict.h"

#include <chrono>
#include <string>
#include <vector>

namespace engine {

struct RunIdentity
{
    std::string operatorName; // empty: not given
    std::string stationName;
    std::string toolName;
    std::string toolVersion;
    std::string invocationId;
    std::string protocolsPath;   // the protocol list as read, its full path; empty: none read
    std::string protocolsSha256; // of its bytes
};

struct PortSummary
{
    std::string runId;
    std::string port;
    std::string unitId; // empty: not given
    std::chrono::system_clock::time_point start;
    std::chrono::system_clock::time_point end;
    RunRecord record;
    RunDecision decision;
    std::string slot;      // the fixture slot's name; empty: none
    std::string fixture{}; // the fixture's id; empty: none
    cli::AdapterIdentity adapter{};
    bool golden = false;         // a golden unit's run, verifying its slot
    bool countsAsAttempt = true; // false: made in a suspect slot, not held against the unit
};

// The expectations and what was seen of them, a JSON array.
std::string expectationsJson(const std::vector<ExpectationResult> &expectations);

// One JSON object on one line, "record": "summary", schema version 1.
std::string summaryJson(const PortSummary &port, const RunIdentity &identity);

// A whole JUnit XML document: a test suite a port, a test case a line test and expectation.
std::string junitXml(const std::vector<PortSummary> &ports, const RunIdentity &identity);

// What a capture's header says of its run: "run ID", "unit SN-7", "protocols PATH sha256 HEX"...
std::vector<std::string> captureFacts(const ReportHeading &heading, const RunIdentity &identity);

// "poll 12 of 1200, 6 s; SN-1 pass so far; SN-2 fail": a quiet run's progress, each port by its
// unit id or its port.
std::string progressLine(int polls, std::chrono::seconds elapsed,
                         const std::vector<std::pair<std::string, const RunRecord *>> &ports);

// One line a port: port, unit id, verdict, and the lines that failed or came and went.
std::string summaryTable(const std::vector<PortSummary> &ports);

} // namespace engine
