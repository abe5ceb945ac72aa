#include "slotrun.h"

#include "stationwindow.h"

namespace line {

SlotRun::SlotRun(std::string port, const RunSettings &settings)
    : m_port(std::move(port)), m_settings(settings)
{
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setSingleShot(true);
    QObject::connect(&m_ticker, &QTimer::timeout, [this] {
        const auto now = std::chrono::steady_clock::now();
        m_ticker.start(engine::PollSchedule::wait(now, m_schedule->next(now)));
        m_check->tick();
        if (onProgress && !m_check->isOver())
            onProgress(m_check->record().polls);
        afterEvent();
    });
    QObject::connect(&m_serial, &port::SerialPortController::dataArrived, [this] {
        if (!m_testing)
            return;
        m_check->dataArrived();
        afterEvent();
    });
}

SlotRun::~SlotRun()
{
    if (m_check)
        m_check->stop();
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
    m_summary = {runId, m_port, unitId, std::chrono::system_clock::now(), {}, {}, {}};
    m_testing = true;
    if (!m_check->start()) {
        finish(0);
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    m_schedule.emplace(now);
    m_ticker.start(engine::PollSchedule::wait(now, m_schedule->next(now)));
    m_check->tick(); // the first poll
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
    if (m_testing && m_check->isOver())
        finish(0);
}

void SlotRun::interrupt(int signalNumber)
{
    if (!m_testing)
        return;
    m_check->stop(); // the port is closed
    finish(signalNumber);
}

void SlotRun::finish(int signalNumber)
{
    m_ticker.stop();
    m_testing = false;
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
