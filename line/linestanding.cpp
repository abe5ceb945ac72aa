// The line window's part in each slot's standing: read off the window's thread after every run
// and every half minute, shown as each slot's band and state, and the slot a unit is sent to.

#include "linewindow.h"

#include <QMetaObject>

namespace line {

namespace {

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

} // namespace

// Off the window's thread: a golden unit's run lifts or keeps its slot's block, then every
// slot's standing is read again; none when the store cannot be read.
std::optional<Standings> LineWindow::standingAfter(const engine::PortSummary &run,
                                                   const Standings &before)
{
    try {
        store::ResultStore results(m_store.path, store::ResultStore::Access::Record);
        const auto now = std::chrono::system_clock::now();
        if (run.golden && run.record.polls > 0)
            afterGolden(results, m_identity.stationName, run.slot,
                        run.decision.verdict == engine::RunVerdict::Pass, now);
        // A store so large that reading it takes long is read again at most a tenth of the
        // time, and at least every half minute: the recorder is never kept busy by it. A golden
        // unit's run is always followed by a reading.
        const auto started = std::chrono::steady_clock::now();
        if (!run.golden && started - m_standingReadAt < 10 * m_standingReadTook)
            return std::nullopt;
        Standings standing =
            readAndBlock(results, m_options, m_identity.stationName, before, false, now);
        m_standingReadAt = std::chrono::steady_clock::now();
        m_standingReadTook = m_standingReadAt - started;
        return standing;
    } catch (const store::StoreError &) {
        return std::nullopt;
    }
}

void LineWindow::refreshStanding(bool startUp)
{
    if (!m_store.recorded)
        return;
    m_recorder.start([this, startUp, before = m_standing] {
        std::optional<Standings> standing;
        try {
            store::ResultStore results(m_store.path, store::ResultStore::Access::Record);
            standing = readAndBlock(results, m_options, m_identity.stationName, before, startUp,
                                    std::chrono::system_clock::now());
        } catch (const store::StoreError &) {
        }
        if (standing)
            QMetaObject::invokeMethod(
                this, [this, standing] { showStanding(*standing); }, Qt::QueuedConnection);
    });
}

void LineWindow::showStanding(const Standings &standing)
{
    m_standing = standing;
    for (Slot &slot : m_slots) {
        const auto found = standing.find(slot.fixture.name);
        if (found == standing.end())
            continue;
        const attribution::Standing &here = found->second;
        bool alarm = false;
        QString band = bandOf(here, alarm);
        if (!here.block.empty())
            band = tr("RUN THE GOLDEN UNIT: %1").arg(text(here.block)) +
                   (band.isEmpty() ? QString() : QStringLiteral("; ") + band);
        slot.panel->setBand(band, alarm || !here.block.empty());
        const Shown shown = slot.panel->verdict()->shown();
        if (slot.run->isTesting() || isVerdict(shown) || shown == Shown::NotTested)
            continue;
        if (here.life.state() == "alarm")
            slot.panel->showState(Shown::Worn, standingRefusal(text(found->first), here, false));
        else if (!here.block.empty())
            slot.panel->showState(Shown::Golden, text(here.block));
        else if (shown == Shown::Golden || shown == Shown::Worn)
            slot.panel->showState(Shown::Waiting);
    }
}

QString LineWindow::retestSlot(std::size_t failedIn) const
{
    const Slot *best = nullptr;
    int bestRank = 3;
    for (const Slot &slot : m_slots) {
        if (&slot == &m_slots[failedIn] || slot.run->isTesting())
            continue;
        const auto found = m_standing.find(slot.fixture.name);
        int rank = 0;
        if (found != m_standing.end()) {
            if (!found->second.block.empty() || found->second.life.state() == "alarm")
                continue;
            rank = static_cast<int>(found->second.state);
        }
        if (rank < bestRank) {
            best = &slot;
            bestRank = rank;
        }
    }
    return best ? tr("slot %1").arg(text(best->fixture.name)) : tr("another slot");
}

} // namespace line
