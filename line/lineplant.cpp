// The line window and the plant's database: a scanned unit's attempts on every bench PC, asked
// for without waiting on the window, and each run pushed once it is recorded.

#include "linewindow.h"

#include <QMetaObject>
#include <QTimer>

namespace line {

namespace {

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

constexpr int plantDeadlineMs = 300;

} // namespace

void LineWindow::askPlant(std::size_t i, const std::string &unitId, int attempts, int forwarded)
{
    Slot &slot = m_slots[i];
    const int request = ++m_plantRequests;
    slot.asking = request;
    slot.unitId = unitId;
    slot.panel->say(tr("Asking the plant database for %1's attempts\u2026").arg(text(unitId)));
    focusNext(i);
    const auto answered = [this, i, request, unitId, attempts,
                           forwarded](std::optional<results::PlantAttempts> answer) {
        plantAnswered(i, request, unitId, attempts, forwarded, std::move(answer));
    };
    m_plant->askAttempts(unitId, [this, answered](std::optional<results::PlantAttempts> answer) {
        QMetaObject::invokeMethod(
            this, [answered, answer] { answered(answer); }, Qt::QueuedConnection);
    });
    QTimer::singleShot(plantDeadlineMs, this, [answered] { answered(std::nullopt); });
}

// The first of the answer and the deadline decides; the other finds the request gone.
void LineWindow::plantAnswered(std::size_t i, int request, const std::string &unitId, int attempts,
                               int forwarded, std::optional<results::PlantAttempts> answer)
{
    Slot &slot = m_slots[i];
    if (slot.asking != request)
        return;
    slot.asking = 0;
    if (!answer) {
        if (m_options.plantRequired)
            return refuse(i, unitId,
                          tr("The plant database did not answer within %1 ms: nothing is "
                             "tested until it does.")
                              .arg(plantDeadlineMs));
        startScan(i, unitId, attempts, false);
        slot.panel->say(tr("plant database away: attempts of this PC only"));
        return;
    }
    // The plant holds this PC's runs that were pushed; the others are counted here.
    const int total = std::max(attempts, static_cast<int>(answer->attempts) + attempts - forwarded);
    if (total >= m_options.maxAttempts)
        return refuse(i, unitId,
                      tr("%1: attempt %2 of %3 across the plant: send it to repair.")
                          .arg(text(unitId))
                          .arg(total + 1)
                          .arg(m_options.maxAttempts));
    slot.panel->say(QString());
    startScan(i, unitId, total, false);
}

} // namespace line
