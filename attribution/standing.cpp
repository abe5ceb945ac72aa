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
    // One weighing for each start a slot counts from: its last maintenance, or none.
    std::map<std::string, std::vector<std::string>> bySince;
    for (const LineSlot &slot : slots) {
        Standing &here = standing[slot.name];
        here.life = store::slotLife(store, station, slot.name, slot.fixture);
        bySince[here.life.last.at].push_back(slot.name);
    }
    for (const auto &[since, names] : bySince)
        for (const SlotFigures &figures : attributeStored(store, {since, ""}, station, settings))
            for (const std::string &name : names)
                if (figures.slot == name) {
                    standing[name].state = figures.state;
                    standing[name].why = evidenceOf(figures, lineNames);
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
