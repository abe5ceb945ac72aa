#include "standing.h"

#include "storeruns.h"

#include <cstdio>

namespace attribution {

namespace {

std::string percent(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", value * 100);
    return text;
}

// "TX - RX RTU fails in 12.0 % of its runs here, 0.5 % elsewhere; 3 units passed elsewhere"
std::string evidenceOf(const SlotFigures &figures, const std::vector<std::string> &names)
{
    const LineFigures *worst = nullptr;
    for (const LineFigures &line : figures.lines)
        if (line.failed + line.intermittent > 0 && (!worst || line.p < worst->p))
            worst = &line;
    std::string why;
    if (worst)
        why = (worst->line < names.size() ? names[worst->line] : "a line") + " fails in " +
              percent(worst->rate) + " of its runs here, " + percent(worst->pooled) + " elsewhere";
    if (figures.marks > 0)
        why += (why.empty() ? "" : "; ") + std::to_string(figures.marks) +
               (figures.marks == 1 ? " unit" : " units") + " failed here and passed elsewhere";
    return why;
}

} // namespace

std::map<std::string, Standing> readStanding(store::ResultStore &store, const std::string &station,
                                             const std::vector<LineSlot> &slots,
                                             const std::vector<std::string> &lineNames,
                                             const Settings &settings)
{
    std::map<std::string, Standing> standing;
    for (const LineSlot &slot : slots)
        standing[slot.name].life = store::slotLife(store, station, slot.name, slot.fixture);
    for (const SlotFigures &figures : attributeSinceMaintenance(store, {}, station, settings))
        if (const auto here = standing.find(figures.slot); here != standing.end()) {
            here->second.state = figures.state;
            here->second.why = evidenceOf(figures, lineNames);
        }
    const auto blocks = store::slotBlocks(store, station);
    auto golden = store.db().prepare(
        "SELECT max(start_utc) FROM runs WHERE golden = 1 AND verdict = 'pass' AND "
        "coalesce(station, '') = ?1 AND coalesce(slot, port) = ?2");
    auto since = store.db().prepare(
        "SELECT count(*) FROM runs WHERE coalesce(station, '') = ?1 AND coalesce(slot, port) = ?2 "
        "AND polled = 1 AND start_utc > ?3");
    for (auto &[name, here] : standing) {
        if (const auto block = blocks.find(name); block != blocks.end())
            here.block = block->second;
        golden.bind(1, station).bind(2, name);
        here.lastGoldenPass = golden.step() ? golden.text(0) : std::string();
        golden.reset();
        since.bind(1, station).bind(2, name).bind(3, here.lastGoldenPass);
        here.runsSinceGolden = since.step() ? int(since.integer(0)) : 0;
        since.reset();
    }
    return standing;
}

} // namespace attribution
