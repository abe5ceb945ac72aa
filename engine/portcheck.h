#pragma once

// One unit's check, without Qt: the station's start-up, Start, a poll at each tick and the
// decoding of each reply, all by the station's own logic, which tells this check each frame and
// what each poll's period, from that poll leaving to the next, held. The check never reads bytes
// itself.

#include "headlesswindow.h"
#include "report.h"
#include "runverdict.h"
#include "stationwindow.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace engine {

struct PortSetup
{
    std::string port;
    std::string protocols; // the list's path; empty with noProtocols
    bool noProtocols = false;
    int polls = 4;
    bool untilReply = false;
    // How far a poll period may stray from 500 ms before the poll is stationLate; none: not
    // checked (a test that closes periods by hand).
    std::optional<std::chrono::milliseconds> cadenceTolerance = std::chrono::milliseconds(20);
    // False for a slot watched between runs: hours of polls, of which only the count of replies
    // matters, so no poll's bytes, round trip or line change is kept.
    bool keepEvidence = true;
};

class PortCheck : private station::StationListener
{
public:
    PortCheck(PortSetup setup, station::PortController &line, station::PollTimer &timer);

    // The station's start-up; false when the protocol list could not be read and the check
    // cannot go on.
    bool load();
    // Why start-up failed: the list's full path and the reason.
    const std::string &startupProblem() const { return m_station.startupProblem(); }
    // Start; false when the port did not open (record().startFailure says why).
    bool start();
    // At each tick of the poll period, and once right after Start: ends the period before and,
    // unless the run is over, polls again. After the last poll's period one more passes without a
    // poll: a unit that answers in it answers late, so its replies may each be the poll before's.
    void tick();
    // Bytes are waiting on the port.
    void dataArrived();
    // Ends the run at once and closes the port.
    void stop();

    bool isOver() const { return m_over; }
    const RunRecord &record() const { return m_record; }
    const PortSetup &setup() const { return m_setup; }

    // Told of each frame as the station cut it, and of each poll's period without a measurement
    // as it ends (the poll number, and whether the station showed "No Reply").
    std::function<void(const Reply &)> onReply;
    std::function<void(int poll, station::PollOutcome outcome, bool noReplyShown)> onMissed;

private:
    void startHandled(const station::PortResult &opened) override;
    void pollSent(const station::PortResult &sent) override;
    void frameHandled(const station::FrameHandled &frame) override;
    void pollEnded(station::PollOutcome outcome) override;

    PortSetup m_setup;
    HeadlessWindow m_window;
    station::StationWindow m_station;
    RunRecord m_record;
    std::chrono::steady_clock::time_point m_polledAt;
    std::chrono::steady_clock::time_point m_decodedAt; // the last decoded reply of this period
    bool m_enough = false;                             // --until-reply has its measurement
    bool m_listening = false;                          // the period after the last poll
    bool m_over = false;
    bool m_stopped = false;
};

} // namespace engine
