#include "slotstanding.h"

#include "report.h"
#include "window.h"

#include <QCoreApplication>

namespace line {

namespace {

QString tr(const char *words)
{
    return QCoreApplication::translate("line::LineWindow", words);
}

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

std::vector<std::string> lineCaptions()
{
    std::vector<std::string> names;
    for (const station::Field field : station::lineTestFields)
        names.emplace_back(station::fieldCaption(field));
    names.emplace_back(attribution::roundTripName);
    return names;
}

std::string hoursAgo(std::chrono::system_clock::time_point now, long hours)
{
    return cli::utcTimestamp(now - std::chrono::hours(hours));
}

} // namespace

QString bandOf(const attribution::Standing &standing, bool &alarm)
{
    QStringList parts;
    alarm = standing.state == attribution::State::Suspect;
    if (standing.state == attribution::State::Suspect)
        parts << tr("SUSPECT: %1").arg(text(standing.why));
    else if (standing.state == attribution::State::Watch)
        parts << tr("WATCH: %1").arg(text(standing.why));
    const store::Life &life = standing.life;
    if (life.state() != "ok") {
        alarm = alarm || life.state() == "alarm";
        parts << tr("connector: %1 matings since maintenance (warn at %2, alarm at %3)")
                     .arg(life.running)
                     .arg(life.warn)
                     .arg(life.alarm);
    }
    return parts.join(QStringLiteral("; "));
}

QString standingRefusal(const QString &slot, const attribution::Standing &standing, bool golden)
{
    const store::Life &life = standing.life;
    if (life.state() == "alarm")
        return tr("Slot %1: maintenance due, %2 matings since the last (alarm at %3): "
                  "converter-results maintenance %1 --note TEXT, once done.")
            .arg(slot)
            .arg(life.running)
            .arg(life.alarm);
    if (!standing.block.empty() && !golden)
        return tr("Slot %1: run the golden unit first (%2).").arg(slot, text(standing.block));
    return {};
}

Standings readAndBlock(store::ResultStore &store, const Options &options,
                       const std::string &station, const Standings &before, bool startUp,
                       std::chrono::system_clock::time_point now)
{
    std::vector<attribution::LineSlot> lineSlots;
    for (const FixtureSlot &slot : options.positions) {
        lineSlots.push_back({slot.name, options.run.fixtureId});
        if (startUp)
            store::setSlotLimits(store, station, slot.name, options.run.fixtureId,
                                 options.counterWarn, options.counterAlarm);
    }
    Standings standing = attribution::readStanding(store, station, lineSlots, lineCaptions());
    const GoldenEvery &every = options.goldenEvery;
    if (!every.on())
        return standing;
    const std::string at = cli::utcTimestamp(now);
    for (auto &[name, here] : standing) {
        if (!here.block.empty())
            continue;
        const auto was = before.find(name);
        std::string why;
        if (startUp)
            why = "start of the shift";
        else if (every.hours && here.lastGoldenPass < hoursAgo(now, every.hours))
            why = std::to_string(every.hours) + " h since its golden unit passed";
        else if (every.runs && here.runsSinceGolden >= every.runs)
            why = std::to_string(here.runsSinceGolden) + " runs since its golden unit passed";
        else if (here.state == attribution::State::Suspect &&
                 (was == before.end() || was->second.state != attribution::State::Suspect))
            why = "it turned suspect";
        else if (here.life.state() == "alarm")
            why = "its connector reached the counter's alarm";
        if (why.empty())
            continue;
        store::setSlotBlock(store, station, name, why, at);
        here.block = why;
    }
    return standing;
}

void afterGolden(store::ResultStore &store, const std::string &station, const std::string &slot,
                 bool passed, std::chrono::system_clock::time_point now)
{
    store::setSlotBlock(store, station, slot,
                        passed ? std::string() : "the golden unit failed: check the fixture",
                        cli::utcTimestamp(now));
}

} // namespace line
