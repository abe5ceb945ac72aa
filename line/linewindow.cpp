#include "linewindow.h"

#include "evidencefile.h"
#include "queries.h"
#include "terminaltext.h"
#include "uuid.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QKeySequence>
#include <QMetaObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QVBoxLayout>

#include <csignal>

namespace line {

namespace {

QString text(const std::string &utf8)
{
    return QString::fromStdString(utf8);
}

} // namespace

LineWindow::LineWindow(const Options &options, engine::RunIdentity identity,
                       engine::StoreChoice store)
    : m_options(options), m_identity(std::move(identity)), m_store(std::move(store))
{
    m_recorder.setMaxThreadCount(1);
    setWindowTitle(tr("Converter production line"));
    const engine::RunOptions &run = options.run;
    m_settings = {run.noProtocols         ? std::string()
                  : run.protocols.empty() ? std::string(station::protocolFileName)
                                          : run.protocols,
                  run.noProtocols,
                  run.polls,
                  run.maxMissed,
                  run.expected,
                  std::chrono::milliseconds(run.cadenceToleranceMs)};
    auto *outer = new QVBoxLayout(this);
    // A scan typed while another window has the keyboard goes there: the operator must see that
    // before scanning, not by a verdict that stays the last unit's.
    m_notReady =
        new QPushButton(tr("NOT READY \u2014 click here: scans go to another window"), this);
    m_notReady->setObjectName(QStringLiteral("notReady"));
    m_notReady->setFocusPolicy(Qt::NoFocus);
    m_notReady->setStyleSheet(QStringLiteral(
        "QPushButton { background: #C62828; color: white; font-size: 32px; font-weight: bold; "
        "padding: 12px; border: none; }"));
    connect(m_notReady, &QPushButton::clicked, this, [this] {
        raise();
        activateWindow();
    });
    outer->addWidget(m_notReady);
    auto *grid = new QGridLayout;
    outer->addLayout(grid, 1);
    const int columns = options.positions.size() <= 2   ? int(options.positions.size())
                        : options.positions.size() <= 4 ? 2
                                                        : 4;
    m_slots.resize(options.positions.size());
    for (std::size_t i = 0; i < options.positions.size(); ++i) {
        Slot &slot = m_slots[i];
        slot.fixture = options.positions[i];
        slot.panel =
            new SlotPanel(text(slot.fixture.name), text(cli::printable(slot.fixture.port)), this);
        slot.run = std::make_unique<SlotRun>(slot.fixture.port, m_settings);
        grid->addWidget(slot.panel, int(i) / columns, int(i) % columns);
        slot.panel->onScan = [this, i](const QString &scan) {
            scanned(i, scan);
        };
        slot.run->onProgress = [this, i](int polls) {
            m_slots[i].panel->showTesting(text(m_slots[i].unitId), m_slots[i].attempt, polls,
                                          m_settings.polls, isLastAttempt(m_slots[i]));
        };
        slot.run->onFinished = [this, i](const engine::PortSummary &summary) {
            finished(i, summary);
        };
        slot.run->onSeat = [this, i](Seat seat) {
            seen(i, seat);
        };
        slot.run->onNotStarted = [this, i](const std::string &why) {
            m_slots[i].panel->showVerdict(Shown::Incomplete, text(m_slots[i].unitId), 0,
                                          tr("not tested: %1").arg(text(why)));
        };
        if (i > 0)
            setTabOrder(m_slots[i - 1].panel->field(), slot.panel->field());
    }
    for (int column = 0; column < columns; ++column)
        grid->setColumnStretch(column, 1);
    for (int row = 0; row * columns < int(m_slots.size()); ++row)
        grid->setRowStretch(row, 1);
    auto *fullScreen = new QShortcut(QKeySequence(Qt::Key_F11), this);
    connect(fullScreen, &QShortcut::activated, this,
            [this] { setWindowState(windowState() ^ Qt::WindowFullScreen); });
    resize(columns <= 1 ? 640 : 1024, int(options.positions.size()) <= columns ? 480 : 760);
    connect(qApp, &QApplication::focusChanged, this, &LineWindow::showCue);
    m_slots.front().panel->field()->setFocus();
    showCue();
    for (Slot &slot : m_slots)
        slot.run->watch();
    if (!options.plantUrl.empty() && m_store.recorded)
        m_plant = std::make_unique<results::PlantLink>(options.plantUrl, m_store.path);
    refreshStanding(true);
    connect(&m_standingTimer, &QTimer::timeout, this, [this] { refreshStanding(false); });
    m_standingTimer.start(30000);
}

void LineWindow::showCue()
{
    for (Slot &slot : m_slots)
        slot.panel->setCue(slot.panel->field() == focusWidget());
}

// What a poll between runs found: a verdict whose unit left goes, a unit put in is asked for.
void LineWindow::seen(std::size_t i, Seat seat)
{
    Slot &slot = m_slots[i];
    if (slot.run->isTesting())
        return;
    SlotPanel *panel = slot.panel;
    const Shown shown = panel->verdict()->shown();
    const bool wasAnswering = slot.answering;
    slot.silent = seat == Seat::Silent ? slot.silent + 1 : 0;
    if (seat == Seat::Answering) {
        slot.answering = true;
        slot.held = slot.held || !slot.broken;
        // A refusal stays until the operator's next action.
        if (!wasAnswering && shown != Shown::NotTested)
            panel->showState(Shown::Seated);
        return;
    }
    if (seat == Seat::Silent && shown == Shown::NoAdapter)
        panel->showState(Shown::Waiting);
    if (seat == Seat::NoAdapter || (slot.silent >= 2 && wasAnswering)) {
        slot.answering = slot.held = false;
        slot.broken = true;
    }
    const QString missing =
        seat == Seat::NoAdapter ? tr("adapter missing: check the fixture cable") : QString();
    if (seat == Seat::Silent && (slot.silent < 2 || !wasAnswering))
        return;
    if (isVerdict(shown))
        panel->showState(Shown::Removed,
                         tr("last: %1").arg(slot.last) +
                             (missing.isEmpty() ? QString() : QStringLiteral("; ") + missing));
    else if (shown == Shown::Seated || (seat == Seat::NoAdapter && shown == Shown::Waiting))
        panel->showState(missing.isEmpty() ? Shown::Waiting : Shown::NoAdapter, missing);
}

LineWindow::~LineWindow()
{
    // The focus moves on as the window goes, when this is only a QWidget any more.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    interruptAll(SIGTERM);
    m_recorder.waitForDone(); // every run on record before the program ends
}

bool LineWindow::isLastAttempt(const Slot &slot) const
{
    return slot.attempt >= m_options.maxAttempts;
}

void LineWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        m_notReady->setVisible(!isActiveWindow());
}

void LineWindow::closeEvent(QCloseEvent *event)
{
    interruptAll(SIGTERM);
    event->accept();
}

void LineWindow::interruptAll(int signalNumber)
{
    for (Slot &slot : m_slots)
        slot.run->interrupt(signalNumber);
}

QString LineWindow::refusal(std::size_t slot, const std::string &unitId, int &attempts,
                            int &forwarded)
{
    if (unitId.empty())
        return tr("Scan a unit's serial number first.");
    if (cli::printable(unitId, unitId.size()) != unitId ||
        cli::characterCount(unitId) > engine::maxIdCharacters)
        return tr("Not a serial number: up to %1 characters, no control characters.")
            .arg(engine::maxIdCharacters);
    if (!m_options.unitPattern.empty() &&
        !QRegularExpression(QRegularExpression::anchoredPattern(text(m_options.unitPattern)))
             .match(text(unitId))
             .hasMatch())
        return tr("%1 is not a serial number of this line: it must match %2.")
            .arg(text(unitId), text(m_options.unitPattern));
    if (m_slots[slot].run->isTesting() || m_slots[slot].asking)
        return tr("Still testing %1: wait for its verdict.").arg(text(m_slots[slot].unitId));
    const bool golden = engine::isGoldenUnit(m_options.run, unitId);
    if (const auto standing = m_standing.find(m_slots[slot].fixture.name);
        standing != m_standing.end())
        if (QString why = standingRefusal(text(standing->first), standing->second, golden);
            !why.isEmpty() && !(why = recheckStanding(standing->first, golden)).isEmpty())
            return why;
    for (std::size_t other = 0; other < m_slots.size(); ++other)
        if (other != slot && (m_slots[other].run->isTesting() || m_slots[other].asking) &&
            m_slots[other].unitId == unitId)
            return tr("%1 is testing in slot %2.")
                .arg(text(unitId), text(m_slots[other].fixture.name));
    // Under --no-store the session's own count; else the store's and those still on their way.
    attempts = m_sessionAttempts[unitId];
    if (m_store.recorded)
        if (const auto why = store::writeRefusal(m_store.path))
            return tr("The results store cannot be written (%1): nothing is tested until it can.")
                .arg(text(*why));
    if (m_store.recorded) {
        const std::vector<std::string> &coming = m_coming[unitId];
        attempts = int(coming.size());
        try {
            store::ResultStore results(m_store.path, store::ResultStore::Access::Read);
            attempts = store::attemptsOf(results, unitId, coming, &forwarded);
        } catch (const store::StoreError &error) {
            // Missing or empty: none yet, or the first run is being recorded this moment.
            if (error.kind != store::StoreError::Kind::Missing &&
                error.kind != store::StoreError::Kind::Empty)
                return tr("The results store cannot be read: %1").arg(text(error.what()));
        }
    }
    if (attempts >= m_options.maxAttempts && !golden)
        return tr("%1: attempt %2 of %3: send it to repair.")
            .arg(text(unitId))
            .arg(attempts + 1)
            .arg(m_options.maxAttempts);
    // The last unit is still in the slot: a new id would be this unit's verdict under its name.
    if (m_options.requireRemoval && m_slots[slot].held && unitId != m_slots[slot].unitId)
        return tr("Remove %1 first: it still answers in slot %2.")
            .arg(text(m_slots[slot].unitId), text(m_slots[slot].fixture.name));
    return {};
}

// A refusal for the slot's standing is read again from the store, for that slot alone, before it
// is said: maintenance done, or a block lifted, since the last reading counts at once.
QString LineWindow::recheckStanding(const std::string &name, bool golden)
{
    attribution::Standing &here = m_standing[name];
    try {
        store::ResultStore results(m_store.path, store::ResultStore::Access::Read);
        here.life = store::slotLife(results, m_identity.stationName, name, m_options.run.fixtureId);
        const auto blocks = store::slotBlocks(results, m_identity.stationName);
        const auto block = blocks.find(name);
        here.block = block == blocks.end() ? std::string() : block->second;
    } catch (const store::StoreError &) {
    }
    showStanding(m_standing);
    return standingRefusal(text(name), here, golden);
}

void LineWindow::scanned(std::size_t i, const QString &scan)
{
    Slot &slot = m_slots[i];
    const std::string unitId =
        store::unitIdAsFiled(scan.trimmed().toStdString(), m_options.run.exactUnitCase);
    int attempts = 0, forwarded = 0;
    // A scan is used once, whatever comes of it: Enter alone never tests the last id again.
    slot.panel->field()->clear();
    if (const QString why = refusal(i, unitId, attempts, forwarded); !why.isEmpty())
        return refuse(i, unitId, why);
    if (m_plant && !engine::isGoldenUnit(m_options.run, unitId))
        return askPlant(i, unitId, attempts, forwarded);
    slot.panel->say(QString());
    startScan(i, unitId, attempts);
}

void LineWindow::refuse(std::size_t i, const std::string &unitId, const QString &why)
{
    // Never the last unit's verdict beside a scan that was not tested; a slot still testing
    // keeps its run on screen, and the note stays after that run's verdict.
    Slot &slot = m_slots[i];
    slot.panel->say(why);
    if (!slot.run->isTesting())
        slot.panel->showRefused(text(unitId), why);
    m_sounds.play("dialog-warning", "A scan was refused");
}

void LineWindow::startScan(std::size_t i, const std::string &unitId, int attempts, bool moveFocus)
{
    Slot &slot = m_slots[i];
    slot.unitId = unitId;
    slot.attempt = attempts + 1;
    slot.golden = engine::isGoldenUnit(m_options.run, unitId);
    slot.adapter = cli::adapterOf(slot.fixture.port);
    slot.panel->showTesting(text(unitId), slot.attempt, 0, m_settings.polls, isLastAttempt(slot));
    slot.run->start(unitId, cli::randomUuid());
    if (moveFocus)
        focusNext(i);
}

// The next scan goes to the next slot that is not busy; with every slot busy, here.
void LineWindow::focusNext(std::size_t i)
{
    for (std::size_t step = 1; step < m_slots.size(); ++step)
        if (const Slot &next = m_slots[(i + step) % m_slots.size()];
            !next.run->isTesting() && !next.asking) {
            next.panel->field()->setFocus();
            break;
        }
}

void LineWindow::finished(std::size_t i, const engine::PortSummary &summary)
{
    Slot &slot = m_slots[i];
    ShownVerdict shown = shownVerdict(summary);
    engine::PortSummary run = summary;
    run.slot = slot.fixture.name;
    run.fixture = m_options.run.fixtureId;
    run.adapter = slot.adapter;
    run.golden = slot.golden;
    // A failure in a suspect slot is the slot's until shown otherwise: no attempt of the unit's.
    const auto standing = m_standing.find(slot.fixture.name);
    const bool suspect =
        standing != m_standing.end() && standing->second.state == attribution::State::Suspect;
    const bool failed = shown.shown == Shown::Fail || shown.shown == Shown::Intermittent;
    run.countsAsAttempt = !slot.golden && !(suspect && failed);
    shown.attempt = shown.attempt && run.countsAsAttempt;
    if (slot.golden) {
        shown.disposition = shown.shown == Shown::Pass
                                ? tr("golden unit passed: slot %1 verified").arg(text(run.slot))
                                : tr("golden unit did not pass: check the fixture");
        shown.detail = shown.detail.isEmpty()
                           ? shown.disposition
                           : shown.disposition + QStringLiteral("; ") + shown.detail;
        // At once, as the store will have it: the next scan comes before the record is made.
        if (standing != m_standing.end() && summary.record.polls > 0)
            standing->second.block = shown.shown == Shown::Pass
                                         ? std::string()
                                         : "the golden unit failed: check the fixture";
    } else if (suspect && failed)
        shown.disposition = tr("slot %1 suspect: retest on %2").arg(text(run.slot), retestSlot(i));
    // Said when it happens, not at the next scan: this unit goes to repair.
    if (shown.attempt && shown.shown != Shown::Pass && isLastAttempt(slot)) {
        shown.disposition =
            tr("to repair: attempt %1 of %2").arg(slot.attempt).arg(m_options.maxAttempts);
        shown.detail = shown.disposition + QStringLiteral("; ") + shown.detail;
    }
    // Counted before it is shown, so that a scan at once sees it, however long the store takes.
    if (shown.attempt && m_store.recorded)
        m_coming[slot.unitId].push_back(summary.runId);
    else if (shown.attempt)
        slot.attempt = ++m_sessionAttempts[slot.unitId];
    static const char *const words[] = {"PASS", "FAIL", "INTERMITTENT", "INCOMPLETE"};
    slot.last = text(slot.unitId) + QLatin1Char(' ') +
                QLatin1String(words[static_cast<int>(shown.shown) - static_cast<int>(Shown::Pass)]);
    slot.held = slot.answering = summary.record.replies > 0;
    slot.broken = false;
    slot.silent = 0;
    slot.panel->showVerdict(shown.shown, text(slot.unitId), shown.attempt ? slot.attempt : 0,
                            shown.detail, shown.disposition, text(summary.decision.message));
    if (shown.shown == Shown::Fail || shown.shown == Shown::Intermittent)
        m_sounds.play("dialog-error", "A unit failed");
    else if (shown.shown == Shown::Pass && !m_options.quietPass)
        m_sounds.play("complete", "A unit passed");
    keepOnRecord(i, run);
}

} // namespace line
