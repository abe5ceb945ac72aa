#include "fixturelife.h"

#include <array>

namespace store {

namespace {

// The latest maintenance of a slot (?1 station, ?2 slot) or of its fixture (?3).
constexpr const char *lastMaintenance =
    "SELECT at_utc, coalesce(by_whom, ''), note FROM maintenance WHERE coalesce(station, '') = ?1 "
    "AND ((kind = 'slot' AND target = ?2) OR (kind = 'fixture' AND target = ?3)) ORDER BY at_utc "
    "DESC LIMIT 1";

Maintenance maintenanceOf(ResultStore &store, const std::string &station, const std::string &slot,
                          const std::string &fixture)
{
    auto query = store.db().prepare(lastMaintenance);
    query.bind(1, station).bind(2, slot).bind(3, fixture);
    return query.step() ? Maintenance{query.text(0), query.text(1), query.text(2)} : Maintenance{};
}

} // namespace

std::string Life::state() const
{
    return alarm > 0 && running >= alarm ? "alarm" : warn > 0 && running >= warn ? "warn" : "ok";
}

Life slotLife(ResultStore &store, const std::string &station, const std::string &slot,
              const std::string &fixture)
{
    Life life{"slot", station, slot, fixture};
    life.last = maintenanceOf(store, station, slot, fixture);
    // From the slots' index alone.
    auto counts = store.db().prepare(
        "SELECT count(*), count(*) FILTER (WHERE start_utc > ?3) FROM runs WHERE "
        "coalesce(station, '') = ?1 AND coalesce(slot, port) = ?2 AND polled = 1");
    counts.bind(1, station).bind(2, slot).bind(3, life.last.at);
    if (counts.step()) {
        life.total = counts.integer(0);
        life.running = counts.integer(1);
    }
    auto limits =
        store.db().prepare("SELECT coalesce(warn, 0), coalesce(alarm, 0) FROM slot_limits WHERE "
                           "station = ?1 AND slot = ?2");
    limits.bind(1, station).bind(2, slot);
    if (limits.step()) {
        life.warn = limits.integer(0);
        life.alarm = limits.integer(1);
    }
    return life;
}

std::vector<Life> fixtureLife(ResultStore &store, const std::string &station)
{
    std::vector<Life> lives;
    auto slots = store.db().prepare(
        "SELECT coalesce(station, ''), coalesce(slot, port) FROM runs WHERE polled = 1 AND (?1 = "
        "'' OR coalesce(station, '') = ?1) GROUP BY 1, 2 UNION SELECT station, slot FROM "
        "slot_limits WHERE ?1 = '' OR station = ?1 ORDER BY 1, 2");
    slots.bind(1, station);
    auto fixture = store.db().prepare(
        "SELECT fixture FROM runs WHERE coalesce(station, '') = ?1 AND coalesce(slot, port) = ?2 "
        "AND polled = 1 UNION ALL SELECT fixture FROM slot_limits WHERE station = ?1 AND slot = "
        "?2 LIMIT 1");
    std::vector<std::array<std::string, 3>> found;
    while (slots.step()) {
        fixture.bind(1, slots.text(0)).bind(2, slots.text(1));
        found.push_back({slots.text(0), slots.text(1), fixture.step() ? fixture.text(0) : ""});
        fixture.reset();
    }
    for (const auto &[at, slot, fixtureId] : found)
        lives.push_back(slotLife(store, at, slot, fixtureId));
    auto fixtures = store.db().prepare(
        "SELECT coalesce(station, ''), fixture, count(*) FROM runs WHERE polled = 1 AND fixture "
        "IS NOT NULL AND (?1 = '' OR coalesce(station, '') = ?1) GROUP BY 1, 2 ORDER BY 1, 2");
    fixtures.bind(1, station);
    auto since = store.db().prepare("SELECT count(*) FROM runs WHERE polled = 1 AND fixture = ?2 "
                                    "AND coalesce(station, '') = ?1 AND start_utc > ?3");
    while (fixtures.step()) {
        Life life{"fixture", fixtures.text(0), fixtures.text(1), fixtures.text(1)};
        life.total = fixtures.integer(2);
        life.last = maintenanceOf(store, life.station, "", life.name);
        since.bind(1, life.station).bind(2, life.name).bind(3, life.last.at);
        life.running = since.step() ? since.integer(0) : 0;
        since.reset();
        lives.push_back(std::move(life));
    }
    return lives;
}

void setSlotLimits(ResultStore &store, const std::string &station, const std::string &slot,
                   const std::string &fixture, std::int64_t warn, std::int64_t alarm)
{
    Transaction transaction(store.db());
    auto set = store.db().prepare("INSERT OR REPLACE INTO slot_limits VALUES (?, ?, ?, ?, ?)");
    set.bind(1, station).bind(2, slot).bindOptional(3, fixture);
    warn ? set.bind(4, warn) : set.bindNull(4);
    alarm ? set.bind(5, alarm) : set.bindNull(5);
    set.run();
    transaction.commit();
}

std::string recordMaintenance(ResultStore &store, const std::string &station,
                              const std::string &target, const std::string &byWhom,
                              const std::string &note, const std::string &at,
                              const std::string &maintenanceId)
{
    Transaction transaction(store.db());
    auto slot = store.db().prepare(
        "SELECT (SELECT count(*) FROM runs WHERE coalesce(station, '') = ?1 AND coalesce(slot, "
        "port) = ?2 AND polled = 1) + (SELECT count(*) FROM slot_limits WHERE station = ?1 AND "
        "slot = ?2), (SELECT count(*) FROM runs WHERE fixture = ?2)");
    slot.bind(1, station).bind(2, target);
    slot.step();
    const std::string kind = slot.integer(0) ? "slot" : slot.integer(1) ? "fixture" : "";
    slot.reset();
    if (kind.empty())
        return kind;
    auto insert = store.db().prepare("INSERT INTO maintenance (maintenance_id, station, target, "
                                     "kind, at_utc, by_whom, note) VALUES (?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, maintenanceId).bindOptional(2, station).bind(3, target).bind(4, kind);
    insert.bind(5, at).bindOptional(6, byWhom).bind(7, note).run();
    transaction.commit();
    return kind;
}

std::map<std::string, std::string> slotBlocks(ResultStore &store, const std::string &station)
{
    std::map<std::string, std::string> blocks;
    auto query = store.db().prepare("SELECT slot, reason FROM slot_blocks WHERE station = ?");
    query.bind(1, station);
    while (query.step())
        blocks[query.text(0)] = query.text(1);
    return blocks;
}

void setSlotBlock(ResultStore &store, const std::string &station, const std::string &slot,
                  const std::string &reason, const std::string &at)
{
    Transaction transaction(store.db());
    if (reason.empty())
        store.db()
            .prepare("DELETE FROM slot_blocks WHERE station = ? AND slot = ?")
            .bind(1, station)
            .bind(2, slot)
            .run();
    else
        store.db()
            .prepare("INSERT OR REPLACE INTO slot_blocks VALUES (?, ?, ?, ?)")
            .bind(1, station)
            .bind(2, slot)
            .bind(3, reason)
            .bind(4, at)
            .run();
    transaction.commit();
}

} // namespace store
