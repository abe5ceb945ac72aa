#include "slotrun.h"

#include "stationwindow.h"

#include <climits>

namespace line {

SlotRun::SlotRun(std::string port, const RunSettings &settings)
    : m_port(std::move(port)), m_settings(settings)
{
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setSingleShot(true);
    QObject::connect(&m_ticker, &QTimer::timeout, [this] { tick(); });
    QObject::connect(&m_serial, &port::SerialPortController::dataArrived, [this] {
        if (m_running) {
            m_check->dataArrived();
            afterEvent();
        } else if (m_watch) {
            m_watch->dataArrived();
        }
    });
}

SlotRun::~SlotRun()
{
    if (m_check)
        m_check->stop();
    if (m_watch)
        m_watch->stop();
}

void SlotRun::tick()
{
    const auto now = std::chrono::steady_clock::now();
    m_ticker.start(engine::PollSchedule::wait(now, m_schedule->next(now)));
    if (m_testing && !m_running) {
        begin();
    } else if (m_running) {
        m_check->tick();
        if (onProgress && !m_check->isOver())
            onProgress(m_check->record().polls);
        afterEvent();
        if (!m_testing && m_watching) // the run's listening period is over
            watchTick();
    } else if (m_watching) {
        watchTick();
    }
}

void SlotRun::watch()
{
    m_watching = true;
    m_schedule.emplace(std::chrono::steady_clock::now());
    tick();
}

void SlotRun::watchTick()
{
    if (!m_watch) {
        m_watch = std::make_unique<engine::PortCheck>(
            engine::PortSetup{m_port, {}, true, INT_MAX, false, {}, false}, m_serial, *this);
        m_watchReplies = 0;
        if (!m_watch->load() || !m_watch->start()) {
            m_watch.reset();
            if (onSeat)
                onSeat(Seat::NoAdapter);
            return;
        }
        m_watch->tick(); // its first poll: its period is told of at the next tick
        return;
    }
    const engine::RunRecord &record = m_watch->record();
    // A line that cannot be written to any more: the adapter went, or the unit's end of a
    // virtual line closed. The port is opened again at the next tick.
    const bool gone = !record.sendProblem.empty();
    const Seat seat = gone                              ? Seat::NoAdapter
                      : record.replies > m_watchReplies ? Seat::Answering
                                                        : Seat::Silent;
    m_watchReplies = record.replies;
    if (gone)
        stopWatching();
    else
        m_watch->tick();
    if (onSeat)
        onSeat(seat);
}

void SlotRun::stopWatching()
{
    if (m_watch)
        m_watch->stop(); // the port is closed
    m_watch.reset();
}

void SlotRun::start(const std::string &unitId, const std::string &runId)
{
    m_check = std::make_unique<engine::PortCheck>(
        engine::PortSetup{m_port, m_settings.protocols, m_settings.noProtocols, m_settings.polls,
                          false, m_settings.cadenceTolerance},
        m_serial, *this);
    // The list is read again for each unit, as the station reads it at each start; a list that
    // went missing since polls nothing, and nothing is on record.
    if (!m_check->load()) {
        if (onNotStarted)
            onNotStarted(m_check->startupProblem());
        return;
    }
    m_summary = {runId, m_port, unitId, std::chrono::system_clock::now(), {}, {}, {}, {}};
    m_testing = true;
    if (!m_watching) {
        m_schedule.emplace(std::chrono::steady_clock::now());
        tick();
    }
}

// The run's first poll, on the slot's clock.
void SlotRun::begin()
{
    stopWatching();
    m_running = true;
    m_summary.start = std::chrono::system_clock::now();
    if (!m_check->start()) {
        finish(0);
        return;
    }
    m_check->tick();
    if (onProgress)
        onProgress(m_check->record().polls);
}

std::string SlotRun::protocolProblem()
{
    engine::PortCheck probe({m_port, m_settings.protocols, m_settings.noProtocols, 1, false},
                            m_serial, *this);
    return probe.load() ? std::string() : probe.startupProblem();
}

void SlotRun::afterEvent()
{
    if (m_running && m_check->isOver())
        finish(0);
}

void SlotRun::interrupt(int signalNumber)
{
    m_closed = true;
    m_watching = false;
    stopWatching();
    if (!m_testing) {
        m_ticker.stop();
        return;
    }
    m_check->stop(); // the port is closed
    finish(signalNumber);
}

void SlotRun::finish(int signalNumber)
{
    if (!m_watching || m_closed)
        m_ticker.stop();
    m_testing = m_running = false;
    m_summary.end = std::chrono::system_clock::now();
    m_summary.record = m_check->record();
    m_summary.decision =
        signalNumber
            ? engine::interruptedRun(m_summary.record, m_settings.expected, m_settings.maxMissed,
                                     signalNumber)
            : engine::decideRun(m_summary.record, m_settings.expected, m_settings.maxMissed);
    if (onFinished)
        onFinished(m_summary);
}

} // namespace line
