#include "attribution.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace attribution {

const char *stateName(State state)
{
    switch (state) {
    case State::Ok:
        return "ok";
    case State::Watch:
        return "watch";
    case State::Suspect:
        return "suspect";
    }
    return "ok";
}

double binomialTail(int n, int k, double p)
{
    if (k <= 0 || p >= 1)
        return 1;
    if (k > n || p <= 0)
        return 0;
    const double logP = std::log(p), logQ = std::log1p(-p), logN = std::lgamma(n + 1.0);
    const auto term = [&](int i) {
        return std::exp(logN - std::lgamma(i + 1.0) - std::lgamma(n - i + 1.0) + i * logP +
                        (n - i) * logQ);
    };
    // Summed from the term nearest the mean outwards, where the terms only fall.
    double sum = 0;
    if (k > n * p) {
        for (int i = k; i <= n; ++i) {
            const double t = term(i);
            sum += t;
            if (t < sum * 1e-17)
                break;
        }
        return std::min(1.0, sum);
    }
    for (int i = k - 1; i >= 0; --i) {
        const double t = term(i);
        sum += t;
        if (t < sum * 1e-17)
            break;
    }
    return std::max(0.0, 1 - sum);
}

namespace {

using SlotKey = std::pair<std::string, std::string>; // station, slot

struct Tally
{
    std::string port;
    std::string lastRun;
    std::string fixture, adapter;
    int runs = 0;
    int bad = 0;
    std::vector<int> failed, intermittent; // a count a line
    double weight = 0;
    int marks = 0;
    int unitFaults = 0;
    std::vector<std::string> evidence;

    void add(const Tally &other, int sign)
    {
        runs += sign * other.runs;
        bad += sign * other.bad;
        for (std::size_t line = 0; line < failed.size(); ++line) {
            failed[line] += sign * other.failed[line];
            intermittent[line] += sign * other.intermittent[line];
        }
    }
};

// A worn slot sends good units on, which pass in the next slot; a clean one sends on defective
// units, which fail again there. The chances each way are deliberately cautious.
constexpr double passElsewhereIfWorn = 0.9, passElsewhereIfClean = 0.2;

} // namespace

std::vector<SlotFigures> attribute(std::vector<Run> runs, const Settings &settings)
{
    std::erase_if(runs, [](const Run &run) { return run.golden || (!run.passed && !run.bad()); });
    std::map<SlotKey, SlotCount> counted;
    for (const Run &run : runs) {
        SlotCount &count = counted[{run.station, run.slot}];
        if (count.runs++ == 0)
            count = {run.station, run.slot, run.port, {}, 1};
        if (count.lastRun.empty() || run.start >= count.lastStart) {
            count.lastRun = run.runId;
            count.lastStart = run.start;
        }
    }
    std::vector<SlotCount> counts;
    for (auto &[key, count] : counted)
        counts.push_back(std::move(count));
    return attributeCounted(counts, std::move(runs), settings);
}

std::vector<SlotFigures> attributeCounted(const std::vector<SlotCount> &counts,
                                          std::vector<Run> runs, const Settings &settings)
{
    std::erase_if(runs, [](const Run &run) { return run.golden || (!run.passed && !run.bad()); });
    const auto earlier = [](const Run &a, const Run &b) {
        return a.start < b.start;
    };
    if (!std::is_sorted(runs.begin(), runs.end(), earlier))
        std::stable_sort(runs.begin(), runs.end(), earlier);
    const std::size_t lines = settings.lineCount;
    std::map<SlotKey, Tally> slots;
    for (const SlotCount &count : counts) {
        Tally &tally = slots[{count.station, count.slot}];
        tally.port = count.port;
        tally.lastRun = count.lastRun;
        tally.fixture = count.fixture;
        tally.adapter = count.adapter;
        tally.runs = count.runs;
    }
    // Each run's slot found once, without a string copied a run: many runs are read.
    std::unordered_map<std::string_view, std::unordered_map<std::string_view, Tally *>> index;
    std::vector<Tally *> slotOf(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Run &run = runs[i];
        auto &ofStation = index[run.station];
        auto found = ofStation.find(run.slot);
        if (found == ofStation.end()) {
            Tally &tally = slots[{run.station, run.slot}];
            if (tally.port.empty())
                tally.port = run.port;
            found = ofStation.emplace(run.slot, &tally).first;
        }
        slotOf[i] = found->second;
    }
    for (auto &[key, tally] : slots) {
        tally.failed.resize(lines);
        tally.intermittent.resize(lines);
    }

    // The marks: each failing run against the unit's next run in another slot of the station.
    std::vector<bool> unitsOwn(runs.size(), false);
    std::unordered_map<std::string_view, std::vector<std::size_t>> byUnit;
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (!runs[i].unitId.empty())
            byUnit[runs[i].unitId].push_back(i);
    const double forSlot = std::log(passElsewhereIfWorn / passElsewhereIfClean);
    const double forUnit = std::log((1 - passElsewhereIfWorn) / (1 - passElsewhereIfClean));
    for (const auto &[unit, list] : byUnit)
        for (std::size_t a = 0; a < list.size(); ++a) {
            const Run &here = runs[list[a]];
            if (!here.bad())
                continue;
            const auto next = std::find_if(
                list.begin() + static_cast<long>(a) + 1, list.end(), [&](std::size_t b) {
                    return runs[b].station == here.station && runs[b].slot != here.slot;
                });
            if (next == list.end())
                continue;
            const Run &there = runs[*next];
            Tally &tally = *slotOf[list[a]];
            if (there.passed) {
                tally.weight += forSlot;
                ++tally.marks;
                if (tally.evidence.size() < 20)
                    tally.evidence.push_back(here.unitId + ": failed in " + here.slot + " (run " +
                                             here.runId + "), passed in " + there.slot + " (run " +
                                             there.runId + ")");
            } else if ((there.failedLines | there.intermittentLines) &
                       (here.failedLines | here.intermittentLines)) {
                tally.weight += forUnit;
                ++tally.unitFaults;
                unitsOwn[list[a]] = unitsOwn[*next] = true;
            }
        }

    // The rates: each slot's failing runs, a failure that is the unit's own counting against no
    // slot; a slot's runs as counted, never fewer than its failing runs read.
    std::map<std::string, Tally> stations;
    std::map<std::string, int> slotsOf;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Run &run = runs[i];
        Tally &tally = *slotOf[i];
        if (run.bad() && !unitsOwn[i]) {
            ++tally.bad;
            for (std::size_t line = 0; line < lines; ++line) {
                tally.failed[line] += (run.failedLines >> line) & 1;
                tally.intermittent[line] += (run.intermittentLines >> line) & 1;
            }
        }
    }
    for (auto &[key, tally] : slots) {
        tally.runs = std::max(tally.runs, tally.bad);
        Tally &station = stations[key.first];
        station.failed.resize(lines);
        station.intermittent.resize(lines);
        station.add(tally, 1);
        ++slotsOf[key.first];
    }

    std::vector<SlotFigures> figures;
    const double strong = std::log(1 / settings.alpha);
    for (const auto &[key, tally] : slots) {
        Tally others = stations[key.first];
        others.add(tally, -1);
        const int tests = slotsOf[key.first];
        const auto pooled = [&](int count) {
            return std::max(settings.floorRate, others.runs ? double(count) / others.runs : 0.0);
        };
        // A slot alone at its station has nothing to be weighed against: never flagged by rate.
        const auto corrected = [&](int count, double rate) {
            return tests < 2 ? 1.0 : std::min(1.0, binomialTail(tally.runs, count, rate) * tests);
        };
        SlotFigures slot;
        slot.station = key.first;
        slot.slot = key.second;
        slot.port = tally.port;
        slot.runs = tally.runs;
        slot.bad = tally.bad;
        slot.rate = tally.runs ? double(tally.bad) / tally.runs : 0;
        slot.pooled = pooled(others.bad);
        slot.p = corrected(tally.bad, slot.pooled);
        slot.weight = tally.weight;
        slot.marks = tally.marks;
        slot.unitFaults = tally.unitFaults;
        slot.evidence = tally.evidence;
        slot.lastRun = tally.lastRun;
        slot.fixture = tally.fixture;
        slot.adapter = tally.adapter;
        for (std::size_t line = 0; line < lines; ++line) {
            const int count = tally.failed[line] + tally.intermittent[line];
            const double rate = pooled(others.failed[line] + others.intermittent[line]);
            slot.lines.push_back({line, tally.failed[line], tally.intermittent[line],
                                  tally.runs ? double(count) / tally.runs : 0, rate,
                                  corrected(count, rate)});
        }
        const bool enough = tally.runs >= settings.minRuns;
        slot.state = enough && (slot.p < settings.alpha || slot.weight >= strong) ? State::Suspect
                     : tally.marks > 0                                            ? State::Watch
                                                                                  : State::Ok;
        figures.push_back(std::move(slot));
    }
    return figures;
}

} // namespace attribution
