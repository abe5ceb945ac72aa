// How soon a worn slot is named, how rarely a clean one is, and whether a defective unit's
// failures are its own: a line of 8 slots simulated over 20 seeds, 2,000 runs a slot. Units have a
// 1 % real defect (one line, every time); slot 5 gives each run a chance of an intermittent
// TX - RX (10 %, then 3 %). A failed unit is retested in another slot, as a line does, and sent to
// repair if it fails there too.
//   attribution_sim [SEEDS]

#include "attribution.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int slots = 8, worn = 4, runsPerSlot = 2000;

struct Outcome
{
    int detectedAfter = -1; // the worn slot's runs when it first turned suspect
    int falseSuspects = 0;  // clean slots ever suspect
    int cleanSlotRuns = 0;
    int defective = 0, defectiveOnTheUnit = 0;
};

std::string slotName(int slot)
{
    return std::string(1, static_cast<char>('A' + slot));
}

Outcome simulate(unsigned seed, double wornRate)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> chance(0, 1);
    std::vector<attribution::Run> runs;
    struct Retest
    {
        std::string unit;
        int failedIn;
        std::uint32_t line;
    };
    std::deque<Retest> retests;
    std::vector<std::uint32_t> defectOf; // by unit number: its failing line, 0 when sound
    std::vector<int> runsIn(slots);
    Outcome outcome;
    std::vector<bool> everSuspect(slots);
    const auto check = [&](bool whole) {
        for (const auto &slot : attribution::attribute(runs)) {
            const int index = slot.slot[0] - 'A';
            if (slot.state != attribution::State::Suspect)
                continue;
            if (index == worn && outcome.detectedAfter < 0)
                outcome.detectedAfter = runsIn[worn];
            if (index != worn && whole)
                everSuspect[static_cast<std::size_t>(index)] = true;
        }
    };
    for (int t = 0; t < slots * runsPerSlot; ++t) {
        const int slot = t % slots;
        std::string unit;
        std::uint32_t defect = 0;
        bool fresh = false;
        const auto retest = std::find_if(retests.begin(), retests.end(),
                                         [&](const Retest &r) { return r.failedIn != slot; });
        if (retest != retests.end()) {
            unit = retest->unit;
            defect = defectOf[std::stoul(unit.substr(3))];
            retests.erase(retest);
        } else {
            unit = "SN-" + std::to_string(defectOf.size());
            defectOf.push_back(chance(random) < 0.01 ? 1u << (random() % 5) : 0);
            defect = defectOf.back();
            outcome.defective += defect != 0;
            fresh = true;
        }
        const bool flap = slot == worn && chance(random) < wornRate;
        char start[32];
        std::snprintf(start, sizeof start, "2026-12-09T%08d", t);
        attribution::Run run{"r" + std::to_string(t),
                             "line",
                             slotName(slot),
                             slotName(slot),
                             unit,
                             start,
                             defect,
                             flap ? 1u << 4 : 0u,
                             !defect && !flap};
        runs.push_back(run);
        ++runsIn[static_cast<std::size_t>(slot)];
        if (run.bad() && fresh)
            retests.push_back({unit, slot, run.failedLines | run.intermittentLines});
        // Often at first, while the worn slot may be found; then now and then for the others.
        if ((outcome.detectedAfter < 0 && t % slots == slots - 1) || t % 400 == 399)
            check(t % 400 == 399);
    }
    int unitsOwn = 0;
    for (const auto &slot : attribution::attribute(runs))
        unitsOwn += slot.unitFaults;
    outcome.defectiveOnTheUnit = unitsOwn;
    for (int slot = 0; slot < slots; ++slot)
        if (slot != worn) {
            outcome.falseSuspects += everSuspect[static_cast<std::size_t>(slot)];
            outcome.cleanSlotRuns += runsIn[static_cast<std::size_t>(slot)];
        }
    return outcome;
}

} // namespace

int main(int argc, char **argv)
{
    const int seeds = argc > 1 ? std::atoi(argv[1]) : 20;
    for (const double rate : {0.10, 0.03}) {
        std::vector<int> detected;
        int falseSuspects = 0, cleanRuns = 0, defective = 0, onTheUnit = 0;
        for (int seed = 1; seed <= seeds; ++seed) {
            const Outcome outcome = simulate(static_cast<unsigned>(seed), rate);
            detected.push_back(outcome.detectedAfter < 0 ? runsPerSlot + 1 : outcome.detectedAfter);
            falseSuspects += outcome.falseSuspects;
            cleanRuns += outcome.cleanSlotRuns;
            defective += outcome.defective;
            onTheUnit += outcome.defectiveOnTheUnit;
        }
        std::sort(detected.begin(), detected.end());
        std::printf("worn slot failing %.0f %% of its runs, %d seeds: suspect after a median of %d "
                    "of its runs (fastest %d, slowest %d); clean slots: %d false suspect in %d "
                    "slot-runs (%.2f per 10,000); defective units: %d, %d of them (%.1f %%) "
                    "on the unit\n",
                    rate * 100, seeds, detected[detected.size() / 2], detected.front(),
                    detected.back(), falseSuspects, cleanRuns, falseSuspects * 1e4 / cleanRuns,
                    defective, onTheUnit, defective ? 100.0 * onTheUnit / defective : 100.0);
    }
}
