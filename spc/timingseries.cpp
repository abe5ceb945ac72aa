#include "timingseries.h"

#include <cstdlib>

namespace spc {

std::vector<TimingSeries> timingSeries(store::ResultStore &store, const store::Window &window,
                                       const std::string &station, TimingBy by)
{
    // By port, read from the timing index alone, already in order.
    const std::string group = by == TimingBy::Port ? "port" : "coalesce(slot, port)";
    auto query = store.db().prepare(
        "SELECT coalesce(station, ''), " + group +
        ", id, start_utc, rt_median FROM runs WHERE rt_count > 0 AND start_utc >= ?1 AND "
        "(?2 = '' OR start_utc < ?2) AND (?3 = '' OR coalesce(station, '') = ?3) ORDER BY "
        "coalesce(station, ''), " +
        group + ", start_utc, id");
    query.bind(1, window.since).bind(2, window.until).bind(3, station);
    std::vector<TimingSeries> series;
    while (query.step()) {
        const std::string at = query.text(0), name = query.text(1);
        if (series.empty() || series.back().station != at || series.back().group != name)
            series.push_back({at, name, {}, std::nullopt});
        series.back().points.push_back({query.integer(2), query.text(3), query.real(4)});
    }
    auto limit = store.db().prepare(
        "SELECT (SELECT e.value ->> 'expected' FROM json_each(expectations) e WHERE e.value ->> "
        "'name' = 'round trip') FROM runs WHERE id = ? AND json_valid(expectations)");
    for (TimingSeries &one : series) {
        limit.bind(1, one.points.back().id);
        if (limit.step() && !limit.isNull(0))
            one.limitMs = limit.real(0);
        limit.reset();
    }
    return series;
}

void runIdsOf(store::ResultStore &store, std::vector<TimingSeries> &series,
              const std::function<bool(const TimingSeries &, std::size_t)> &wanted)
{
    auto runId = store.db().prepare("SELECT run_id FROM runs WHERE id = ?");
    for (TimingSeries &one : series)
        for (std::size_t i = 0; i < one.points.size(); ++i)
            if (wanted(one, i)) {
                runId.bind(1, one.points[i].id);
                if (runId.step())
                    one.points[i].runId = runId.text(0);
                runId.reset();
            }
}

} // namespace spc
