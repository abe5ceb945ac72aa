#include "portcheck.h"

#include <utility>

namespace engine {

PortCheck::PortCheck(PortSetup setup, station::PortController &line, station::PollTimer &timer)
    : m_setup(std::move(setup)), m_window(m_setup.port, m_setup.noProtocols),
      m_station(m_window, m_window, timer, m_window, line)
{
    m_station.setListener(this);
    // Without a list the station's start-up fails and, told OK, goes on with "Unknown Protocol".
    m_station.setProtocolFilePath(m_setup.protocols);
}

bool PortCheck::load()
{
    m_station.onLoad();
    return !m_window.hasEnded();
}

bool PortCheck::start()
{
    m_station.onStartClick();
    if (m_record.startFailure)
        m_over = m_stopped = true; // nothing to close
    return !m_record.startFailure;
}

void PortCheck::startHandled(const station::PortResult &opened)
{
    if (!opened.isOk())
        m_record.startFailure = opened;
}

void PortCheck::tick()
{
    if (m_over)
        return;
    const station::Bytes held = m_station.closePollPeriod();
    if (m_over)
        return;
    if (m_listening) {
        if (!held.empty())
            m_record.addAfterLast(held);
        stop();
        return;
    }
    if (m_enough || m_record.polls == m_setup.polls) {
        m_listening = true;
        return;
    }
    m_station.sendPoll();
}

void PortCheck::pollSent(const station::PortResult &sent)
{
    ++m_record.polls;
    m_polledAt = std::chrono::steady_clock::now();
    m_record.sendProblem = sent.isOk() ? std::string() : station::portFailureHint(sent);
}

void PortCheck::dataArrived()
{
    if (!m_over)
        m_station.onDataArrived();
}

void PortCheck::frameHandled(const station::FrameHandled &frame)
{
    if (m_record.polls == 0)
        return; // before the first poll: Start emptied the line, so nothing of a unit's
    if (frame.reading == station::FrameReading::Decoded)
        m_decodedAt = std::chrono::steady_clock::now();
    const Reply reply{m_record.polls, std::chrono::system_clock::now(), frame};
    m_record.addReply(reply);
    if (onReply)
        onReply(reply);
}

void PortCheck::pollEnded(station::PollOutcome outcome)
{
    const int poll = m_record.polls;
    // The next poll leaves now: a period far from 500 ms measured the unit unfairly, whatever it
    // held.
    const auto period = std::chrono::steady_clock::now() - m_polledAt;
    if (const auto tolerance = m_setup.cadenceTolerance;
        tolerance &&
        (period < station::pollPeriod - *tolerance || period > station::pollPeriod + *tolerance))
        outcome = station::PollOutcome::StationLate;
    // Before the unit's first reply, --until-reply waits for it rather than counting its silence.
    const bool forgiven =
        m_setup.untilReply && m_record.replies == 0 && outcome == station::PollOutcome::Unanswered;
    m_record.addPoll(poll, outcome, forgiven, m_station.receiveBuffer());
    if (outcome == station::PollOutcome::Measured) {
        const std::chrono::duration<double, std::milli> trip = m_decodedAt - m_polledAt;
        m_record.roundTripsMs.push_back(trip.count());
        m_record.pollLog.back().roundTripMs = trip.count();
        m_enough = m_setup.untilReply;
    } else if (onMissed) {
        onMissed(poll, outcome, m_station.isAwaitingReply());
    }
    if (!m_setup.keepEvidence) {
        m_record.pollLog.clear();
        m_record.roundTripsMs.clear();
        for (LineTally &line : m_record.lines)
            line.changedIn.clear();
    }
}

void PortCheck::stop()
{
    if (!m_over && !m_listening && m_record.polls > m_record.lastPollEnded)
        m_record.addInterrupted(m_station.receiveBuffer());
    m_over = true;
    if (std::exchange(m_stopped, true))
        return;
    m_station.onStopClick(); // closes the port and stops the ticks
}

} // namespace engine
