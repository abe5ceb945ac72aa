#include "storeruns.h"

namespace attribution {

std::vector<Run> storedRuns(store::ResultStore &store, const store::Window &window,
                            const std::string &station)
{
    auto query = store.db().prepare(
        "SELECT id, coalesce(station, ''), coalesce(slot, port), CASE WHEN slot IS NULL THEN port "
        "ELSE '' END, coalesce(unit_id, ''), failed_lines, intermittent_lines, verdict = 'pass' "
        "FROM runs WHERE polled = 1 AND verdict IN ('pass', 'fail', 'intermittent') AND "
        "start_utc >= ?1 AND (?2 = '' OR start_utc < ?2) AND (?3 = '' OR station = ?3) ORDER BY "
        "id");
    query.bind(1, window.since).bind(2, window.until).bind(3, station);
    std::vector<Run> runs;
    while (query.step())
        runs.push_back({"#" + std::to_string(query.integer(0)),
                        query.text(1),
                        query.text(2),
                        query.text(3),
                        query.text(4),
                        {},
                        static_cast<std::uint32_t>(query.integer(5)),
                        static_cast<std::uint32_t>(query.integer(6)),
                        query.integer(7) != 0});
    return runs;
}

std::vector<SlotFigures> attributeStored(store::ResultStore &store, const store::Window &window,
                                         const std::string &station, const Settings &settings)
{
    std::vector<SlotFigures> slots = attribute(storedRuns(store, window, station), settings);
    auto row = store.db().prepare("SELECT run_id, port FROM runs WHERE id = ?");
    const auto of = [&](const std::string &reference, int column) {
        row.bind(1, static_cast<std::int64_t>(std::stoll(reference.substr(1))));
        std::string text = row.step() ? row.text(column) : reference;
        row.reset();
        return text;
    };
    for (SlotFigures &slot : slots) {
        if (slot.port.empty() && !slot.lastRun.empty())
            slot.port = of(slot.lastRun, 1);
        slot.lastRun = slot.lastRun.empty() ? slot.lastRun : of(slot.lastRun, 0);
        // "(run #123)" in a mark: the run's own id.
        for (std::string &mark : slot.evidence)
            for (std::size_t at = 0; (at = mark.find("(run #", at)) != std::string::npos;) {
                const std::size_t end = mark.find(')', at);
                const std::string id = of(mark.substr(at + 5, end - at - 5), 0);
                mark.replace(at + 5, end - at - 5, id);
                at += 5 + id.size();
            }
    }
    return slots;
}

} // namespace attribution
