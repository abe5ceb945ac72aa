// Which part is to blame, from hand-made run histories: the slot's rate against its station's
// other slots, and the units that failed in one slot and passed, or failed again, in another.

#include "attribution.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>

namespace {

constexpr std::uint32_t txRx = 1u << 4;

struct History
{
    std::vector<attribution::Run> runs;
    int clock = 0;

    // `count` units tested in the slot, the first `failing` of them failing TX - RX; each of
    // those is tested again in `retest`, where it passes (`passes`) or fails again.
    void add(const std::string &station, const std::string &slot, int count, int failing,
             const std::string &retest = {}, bool passes = true)
    {
        for (int i = 0; i < count; ++i) {
            const std::string unit = station + slot + std::to_string(i);
            runs.push_back(run(station, slot, unit, i < failing ? txRx : 0));
            if (i < failing && !retest.empty())
                runs.push_back(run(station, retest, unit, passes ? 0 : txRx));
        }
    }
    attribution::Run run(const std::string &station, const std::string &slot,
                         const std::string &unit, std::uint32_t failed)
    {
        char start[32];
        std::snprintf(start, sizeof start, "2026-12-09T%02d:%02d:%02d.000Z", clock / 3600 % 24,
                      clock / 60 % 60, clock % 60);
        ++clock;
        return {"run-" + std::to_string(clock),
                station,
                slot,
                "/dev/" + slot,
                unit,
                start,
                failed,
                0,
                failed == 0};
    }
};

} // namespace

TEST(AttributionTest, TheSlotOrTheUnitFromHandMadeHistories)
{
    struct Row
    {
        const char *name;
        std::function<void(History &)> build;
        std::map<std::string, attribution::State> states; // "STATION/SLOT"
    };
    using attribution::State;
    const Row rows[] = {
        {"a worn cable in C: its failing units pass in A",
         [](History &h) {
             h.add("s1", "A", 30, 0);
             h.add("s1", "B", 30, 0);
             h.add("s1", "C", 30, 8, "A");
             h.add("s1", "D", 30, 0);
         },
         {{"s1/A", State::Ok}, {"s1/B", State::Ok}, {"s1/C", State::Suspect}, {"s1/D", State::Ok}}},
        {"defective units: they fail TX - RX in B again, so no slot is to blame",
         [](History &h) {
             h.add("s1", "A", 30, 3, "B", false);
             h.add("s1", "B", 30, 0);
             h.add("s1", "C", 30, 0);
         },
         {{"s1/A", State::Ok}, {"s1/B", State::Ok}, {"s1/C", State::Ok}}},
        {"too few runs to flag, however they went",
         [](History &h) {
             h.add("s1", "A", 30, 0);
             h.add("s1", "B", 9, 9, "A");
         },
         {{"s1/A", State::Ok}, {"s1/B", State::Watch}}},
        {"one failure against a clean pool is nothing",
         [](History &h) {
             h.add("s1", "A", 200, 0);
             h.add("s1", "B", 20, 1);
         },
         {{"s1/A", State::Ok}, {"s1/B", State::Ok}}},
        {"stations apart: the same slot name on another bench is another slot",
         [](History &h) {
             h.add("s1", "A", 40, 10);
             h.add("s1", "B", 40, 0);
             h.add("s2", "A", 40, 0);
             h.add("s2", "B", 40, 0);
         },
         {{"s1/A", State::Suspect}, {"s1/B", State::Ok}, {"s2/A", State::Ok}, {"s2/B", State::Ok}}},
        {"a slot alone at its station: nothing to weigh it against",
         [](History &h) { h.add("s3", "A", 40, 20); },
         {{"s3/A", State::Ok}}},
        {"golden runs verify a slot and weigh for nothing, failing or passing",
         [](History &h) {
             h.add("s1", "A", 40, 0);
             h.add("s1", "B", 40, 0);
             for (int i = 0; i < 20; ++i) {
                 h.runs.push_back(h.run("s1", "B", "GOLDEN", txRx));
                 h.runs.back().golden = true;
             }
         },
         {{"s1/A", State::Ok}, {"s1/B", State::Ok}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        History history;
        row.build(history);
        std::map<std::string, State> states;
        for (const attribution::SlotFigures &slot : attribution::attribute(history.runs))
            states[slot.station + "/" + slot.slot] = slot.state;
        EXPECT_EQ(states, row.states);
    }
    // The exact tail against figures worked by hand.
    EXPECT_NEAR(attribution::binomialTail(10, 1, 0.1), 0.6513215599, 1e-9);
    EXPECT_NEAR(attribution::binomialTail(60, 6, 0.01), 3.152366e-5, 1e-10);
    EXPECT_EQ(attribution::binomialTail(5, 0, 0.3), 1);
}
