#pragma once

// Which part failed: the slot (its cable, connector or adapter) or the unit. Plain C++ over the
// runs of the results store, no Qt.
//
// Two kinds of evidence, each on its own:
// - Rates. A slot's share of failed or intermittent runs against the pooled share of the other
//   slots of its station over the same runs' period: a one-sided exact binomial test, corrected
//   for the number of slots (Bonferroni). The pooled rate is taken as at least `floorRate`, so
//   one failure against a clean pool never flags, and a slot with fewer than `minRuns` runs is
//   never flagged.
// - Marks, read in order of start. A unit that failed or was intermittent in slot X and then, in
//   its next run in another slot of the station, passed is a mark against X; one that failed a
//   line again there is the unit's fault, and its runs count against no slot. The marks are
//   weighed as a sequential probability ratio test: a worn slot sends good units on that pass
//   elsewhere, a clean slot sends on defective units that fail again.

#include <cstdint>
#include <string>
#include <vector>

namespace attribution {

struct Run
{
    std::string runId;
    std::string station;
    std::string slot; // the slot's name, else its port
    std::string port;
    std::string unitId; // empty: none
    std::string start;  // UTC, as stored: compared as text; runs in order may leave it empty
    std::uint32_t failedLines = 0;
    std::uint32_t intermittentLines = 0;
    bool passed = false;
    bool golden = false; // a golden unit's run verifies its slot: it is weighed for nothing
    bool bad() const { return failedLines != 0 || intermittentLines != 0; }
};

enum class State { Ok, Watch, Suspect };
const char *stateName(State state); // "ok", "watch", "suspect"

struct LineFigures
{
    std::size_t line = 0; // its bit
    int failed = 0;
    int intermittent = 0;
    double rate = 0;   // (failed + intermittent) / the slot's runs
    double pooled = 0; // the same over the station's other slots
    double p = 1;      // one-sided binomial, corrected for the number of slots
};

struct SlotFigures
{
    std::string station;
    std::string slot;
    std::string port;
    int runs = 0; // with a verdict: passed, failed or intermittent
    int bad = 0;  // failed or intermittent, not the unit's own fault
    double rate = 0;
    double pooled = 0;
    double p = 1;       // corrected for the number of slots of the station
    double weight = 0;  // the marks' log-likelihood ratio
    int marks = 0;      // units that failed here and passed in another slot
    int unitFaults = 0; // units that failed here and failed the same line elsewhere
    State state = State::Ok;
    std::vector<LineFigures> lines;
    std::vector<std::string> evidence; // the marks, each with its units, slots and run ids
    std::string lastRun;               // the slot's latest run
    std::string fixture{};             // the fixture and adapter of its latest run; empty: none
    std::string adapter{};
};

// The bit after the five line tests': a run whose link was slower than its round-trip limit is
// weighed as a line test of the slot's.
inline constexpr std::size_t roundTripLine = 5;
inline constexpr const char *roundTripName = "round trip";

struct Settings
{
    double alpha = 0.001;     // flag at p below it, and at marks this strong
    int minRuns = 10;         // never flag a slot with fewer runs
    double floorRate = 0.005; // the pooled rate is taken as at least this
    std::size_t lineCount = roundTripLine + 1;
};

// P(X >= k) for X ~ Binomial(n, p).
double binomialTail(int n, int k, double p);

// One row a slot of each station, in order of station and slot. `runs` in any order.
std::vector<SlotFigures> attribute(std::vector<Run> runs, const Settings &settings = {});

// A slot's runs with a verdict, counted: all its rate needs besides the failing runs.
struct SlotCount
{
    std::string station;
    std::string slot;
    std::string port;
    std::string lastRun; // the slot's latest run
    int runs = 0;
    std::string lastStart{};
    std::string fixture{}; // of its latest run
    std::string adapter{};
};

// The same as attribute() over every run, from each slot's count of runs and, of the runs, only
// those of units that failed or were intermittent somewhere (and the failing runs without a unit
// id): for a large store, where most runs are passes of units never failed.
std::vector<SlotFigures> attributeCounted(const std::vector<SlotCount> &counts,
                                          std::vector<Run> runs, const Settings &settings = {});

} // namespace attribution
