#pragma once

// One unit's check, without Qt: the station's start-up, Start, a poll at each tick and the
// decoding of each reply, all by the station's own logic, which tells this check what it decided.
// It decides on whole poll periods, each from one poll to the next: what a period held when it
// ended, never what its first end byte seemed to complete.

#include "headlesswindow.h"
#include "report.h"
#include "runverdict.h"
#include "stationwindow.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace check {

struct PortSetup
{
    std::string port;
    std::string protocols; // the list's path; empty with noProtocols
    bool noProtocols = false;
    int polls = 4;
    bool untilReply = false;
};

class PortCheck : private station::StationListener
{
public:
    // `tickStart`, when given, is when the tick being handled began: see HeadlessWindow.
    PortCheck(PortSetup setup, station::PortController &line, station::PollTimer &timer,
              const std::chrono::steady_clock::time_point *tickStart = nullptr);

    // The station's start-up; false when the protocol list could not be read and the check
    // cannot go on.
    bool load();
    // Start; false when the port did not open (record().startFailure says why).
    bool start();
    // At each tick of the poll period, and once right after Start: ends the period before and,
    // unless the run is over, polls again.
    void tick();
    // Bytes are waiting on the port.
    void dataArrived();
    // Ends the run at once and closes the port.
    void stop();

    bool isOver() const { return m_over; }
    const RunRecord &record() const { return m_record; }
    const PortSetup &setup() const { return m_setup; }

    // Told of each poll period as it ends: its reply, or none (the poll number, and whether the
    // station still awaits an end byte, as it does when it shows "No Reply").
    std::function<void(const Reply &)> onReply;
    std::function<void(int poll, bool awaitingReply)> onUnanswered;

private:
    void startHandled(const station::PortResult &opened) override;
    void pollSent(const station::PortResult &sent) override;
    void replyHandled(const station::ReplyHandled &reply) override;

    void closePeriod();

    PortSetup m_setup;
    HeadlessWindow m_window;
    station::StationWindow m_station;
    RunRecord m_record;
    std::optional<Reply> m_shown; // the last reply the station showed in this poll period
    std::chrono::steady_clock::time_point m_polledAt;
    bool m_over = false;
    bool m_stopped = false;
};

} // namespace check
