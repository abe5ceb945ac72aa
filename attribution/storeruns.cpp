#include "storeruns.h"

#include <map>

namespace attribution {

namespace {

// The window and station as every query here binds them: ?1 since, ?2 until ("": none), ?3 the
// station ("": every one).
constexpr const char *inWindow =
    "polled = 1 AND start_utc >= ?1 AND (?2 = '' OR start_utc < ?2) AND "
    "(?3 = '' OR coalesce(station, '') = ?3) AND golden = 0";

// The part's name in a run; for a slot, as its index has it.
std::string keyOf(Part part)
{
    switch (part) {
    case Part::Slot:
        break;
    case Part::Fixture:
        return "fixture";
    case Part::Adapter:
        return "coalesce(adapter, usb_vendor || ':' || usb_product || ':' || coalesce(usb_serial, "
               "''))";
    }
    return "coalesce(slot, port)";
}

store::Statement prepared(store::ResultStore &store, const std::string &sql,
                          const store::Window &window, const std::string &station)
{
    auto query = store.db().prepare(sql);
    query.bind(1, window.since).bind(2, window.until).bind(3, station);
    return query;
}

} // namespace

std::vector<Run> storedRuns(store::ResultStore &store, const store::Window &window,
                            const std::string &station, Part part)
{
    // Plain columns, each query read from one index alone (SQLite reads a table row for a
    // column named only inside an indexed expression).
    const std::string key = part == Part::Slot ? "slot" : keyOf(part);
    const std::string columns =
        "SELECT id, station, " + key +
        ", port, unit_id, failed_lines | (failed_expectations & 8) << 2, intermittent_lines, "
        "verdict = 'pass', start_utc FROM runs "
        "WHERE polled = 1 AND start_utc >= ?1 AND (?2 = '' OR start_utc < ?2) AND (?3 = '' OR "
        "station = ?3) AND golden = 0 AND " +
        (part == Part::Slot ? std::string() : key + " IS NOT NULL AND ");
    auto ofUnits = prepared(
        store,
        std::string(columns) +
            "verdict IN ('pass', 'fail', 'intermittent') AND unit_id IN (SELECT unit_id FROM "
            "runs WHERE polled = 1 AND start_utc >= ?1 AND (failed_lines != 0 OR "
            "intermittent_lines != 0 OR verdict = 'incomplete') AND (failed_lines != 0 OR "
            "intermittent_lines != 0) UNION SELECT unit_id FROM runs WHERE polled = 1 AND "
            "failed_expectations & 8 != 0 AND start_utc >= ?1)",
        window, station);
    auto withoutUnit = prepared(
        store,
        std::string(columns) + "unit_id IS NULL AND (failed_lines != 0 OR intermittent_lines != 0 "
                               "OR failed_expectations & 8 != 0)",
        window, station);
    std::vector<Run> runs;
    for (store::Statement *query : {&ofUnits, &withoutUnit})
        while (query->step()) {
            const bool named = !query->isNull(2);
            runs.push_back({"#" + std::to_string(query->integer(0)), query->text(1),
                            query->text(named ? 2 : 3), named ? std::string() : query->text(3),
                            query->text(4), query->text(8),
                            static_cast<std::uint32_t>(query->integer(5)),
                            static_cast<std::uint32_t>(query->integer(6)), query->integer(7) != 0});
        }
    return runs;
}

std::vector<SlotCount> slotCounts(store::ResultStore &store, const store::Window &window,
                                  const std::string &station, Part part)
{
    // A slot's read from the slots' index alone: a million runs are counted, none of them read.
    const std::string key = keyOf(part);
    auto query = prepared(store,
                          "SELECT coalesce(station, ''), " + key + ", count(*) FROM runs WHERE " +
                              inWindow + " AND " + key +
                              " IS NOT NULL AND verdict IN ('pass', 'fail', 'intermittent') "
                              "GROUP BY 1, 2",
                          window, station);
    auto last = store.db().prepare(
        "SELECT run_id, port, start_utc, fixture, coalesce(adapter, usb_vendor || ':' || "
        "usb_product || ':' || coalesce(usb_serial, '')) FROM runs WHERE coalesce(station, '') = "
        "?3 AND " +
        key +
        " = ?4 AND polled = 1 AND start_utc >= ?1 AND (?2 = '' OR start_utc < "
        "?2) AND verdict IN ('pass', 'fail', 'intermittent') ORDER BY start_utc DESC LIMIT 1");
    std::vector<SlotCount> counts;
    while (query.step()) {
        SlotCount count{query.text(0), query.text(1), {}, {}, int(query.integer(2))};
        last.bind(1, window.since).bind(2, window.until).bind(3, count.station).bind(4, count.slot);
        if (last.step()) {
            count.lastRun = last.text(0);
            count.port = last.text(1);
            count.lastStart = last.text(2);
            count.fixture = last.text(3);
            count.adapter = last.text(4);
        }
        last.reset();
        counts.push_back(std::move(count));
    }
    return counts;
}

std::vector<SlotFigures> attributeStored(store::ResultStore &store, const store::Window &window,
                                         const std::string &station, const Settings &settings,
                                         Part part)
{
    std::vector<SlotFigures> slots =
        attributeCounted(slotCounts(store, window, station, part),
                         storedRuns(store, window, station, part), settings);
    auto row = store.db().prepare("SELECT run_id FROM runs WHERE id = ?");
    const auto of = [&](const std::string &reference) {
        row.bind(1, static_cast<std::int64_t>(std::stoll(reference.substr(1))));
        std::string text = row.step() ? row.text(0) : reference;
        row.reset();
        return text;
    };
    // "(run #123)" in a mark: the run's own id.
    for (SlotFigures &slot : slots)
        for (std::string &mark : slot.evidence)
            for (std::size_t at = 0; (at = mark.find("(run #", at)) != std::string::npos;) {
                const std::size_t end = mark.find(')', at);
                const std::string id = of(mark.substr(at + 5, end - at - 5));
                mark.replace(at + 5, end - at - 5, id);
                at += 5 + id.size();
            }
    return slots;
}

std::vector<SlotFigures> attributeSinceMaintenance(store::ResultStore &store,
                                                   const store::Window &window,
                                                   const std::string &station,
                                                   const Settings &settings, Part part)
{
    std::vector<SlotFigures> figures = attributeStored(store, window, station, settings, part);
    if (part == Part::Adapter)
        return figures;
    auto last = store.db().prepare(
        "SELECT max(at_utc) FROM maintenance WHERE coalesce(station, '') = ?1 AND ((kind = ?2 AND "
        "target = ?3) OR (kind = 'fixture' AND target = ?4))");
    // Each station and start of weighing, with the rows it is for.
    std::map<std::pair<std::string, std::string>, std::vector<std::size_t>> since;
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const SlotFigures &row = figures[i];
        last.bind(1, row.station).bind(2, part == Part::Slot ? "slot" : "fixture");
        last.bind(3, row.slot).bind(4, part == Part::Slot ? row.fixture : row.slot);
        const std::string at = last.step() ? last.text(0) : std::string();
        last.reset();
        if (at > window.since)
            since[{row.station, at}].push_back(i);
    }
    for (const auto &[from, rows] : since) {
        const auto again =
            attributeStored(store, {from.second, window.until}, from.first, settings, part);
        for (const std::size_t i : rows) {
            // None since its maintenance: nothing against it.
            SlotFigures fresh;
            fresh.station = figures[i].station;
            fresh.slot = figures[i].slot;
            fresh.port = figures[i].port;
            fresh.fixture = figures[i].fixture;
            fresh.adapter = figures[i].adapter;
            for (const SlotFigures &row : again)
                if (row.slot == figures[i].slot)
                    fresh = row;
            figures[i] = std::move(fresh);
        }
    }
    return figures;
}

} // namespace attribution
