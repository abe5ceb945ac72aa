#include "portcheck.h"

#include <utility>

namespace check {

PortCheck::PortCheck(PortSetup setup, station::PortController &line, station::PollTimer &timer,
                     const std::chrono::steady_clock::time_point *tickStart)
    : m_setup(std::move(setup)), m_window(m_setup.port, m_setup.noProtocols, tickStart),
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
    if (m_record.polls > 0)
        closePeriod();
    if (m_over)
        return;
    if (m_record.polls == m_setup.polls) {
        stop();
        return;
    }
    ++m_record.polls;
    m_station.onTimer();
}

void PortCheck::pollSent(const station::PortResult &sent)
{
    m_polledAt = std::chrono::steady_clock::now();
    m_record.sendProblem = sent.isOk() ? std::string() : station::portFailureHint(sent);
}

void PortCheck::dataArrived()
{
    if (!m_over)
        m_station.onDataArrived();
}

// Only a complete reply is shown; an end byte alone leaves the display as it was.
void PortCheck::replyHandled(const station::ReplyHandled &reply)
{
    if (reply.end != station::ReplyEnd::Complete)
        return;
    const std::chrono::duration<double, std::milli> trip =
        std::chrono::steady_clock::now() - m_polledAt;
    m_shown = Reply{m_record.polls, std::chrono::system_clock::now(), reply, false, trip.count()};
}

void PortCheck::closePeriod()
{
    std::optional<Reply> shown = std::exchange(m_shown, std::nullopt);
    if (!shown) {
        ++m_record.unanswered;
        if (onUnanswered)
            onUnanswered(m_record.polls, m_station.isAwaitingReply());
        return;
    }
    if (station::completeEndCount(m_station.receiveBuffer()) > 1) {
        // The station decoded the period's bytes from their first byte, which belongs to the
        // earlier reply: none of its fields is this poll's answer.
        shown->twoReplies = true;
        shown->roundTripMs.reset();
        shown->handled.status.reset();
        shown->handled.startTag.reset();
        shown->handled.endTag.reset();
        shown->handled.written.reset();
        shown->handled.written.set(static_cast<std::size_t>(station::Field::lblRxDataResult));
    }
    m_record.addReply(*shown);
    if (onReply)
        onReply(*shown);
    if (!m_over && m_setup.untilReply && verdictOf(*shown) != Verdict::NoTests)
        stop();
}

void PortCheck::stop()
{
    m_over = true;
    if (std::exchange(m_stopped, true))
        return;
    m_station.onStopClick(); // closes the port and stops the ticks
}

} // namespace check
