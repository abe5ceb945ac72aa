#pragma once

// One fixture slot's unit under test: its serial line, the run engine's check of that unit on
// its own 500 ms clock, and the decision when the run is over. Between runs the slot keeps
// polling at the same cadence, recording nothing, to tell whether a unit is seated.

#include "pollschedule.h"
#include "portcheck.h"
#include "runreport.h"
#include "serialportcontroller.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace line {

struct RunSettings
{
    std::string protocols; // the list's path; empty with noProtocols
    bool noProtocols = false;
    int polls = 10;
    int maxMissed = 0;
    engine::Expectations expected;
    std::chrono::milliseconds cadenceTolerance{20};
};

// What a poll between runs found.
enum class Seat { Answering, Silent, NoAdapter };

class SlotRun : public station::PollTimer
{
public:
    SlotRun(std::string port, const RunSettings &settings);
    ~SlotRun() override;

    // From a scan until the run's verdict.
    bool isTesting() const { return m_testing; }
    const std::string &port() const { return m_port; }

    // Polls between runs, the first at once: onSeat after each poll's period, or at once when
    // the port cannot be opened (tried again each period).
    void watch();
    // Tests the unit: the first poll on the next tick of the slot's clock, at least a period
    // after the last poll between runs (at once when the slot is not watched), the next every
    // 500 ms, then onFinished. Watching resumes after the run's last period.
    void start(const std::string &unitId, const std::string &runId);
    // Ends a run at once (the window closes, a quit signal): the port is closed and the run is
    // decided as interrupted, never as a pass.
    void interrupt(int signalNumber);

    // Why the protocol list cannot be read, as the station says it; empty when it can.
    std::string protocolProblem();

    std::function<void(int polls)> onProgress;
    // The unit was not polled: the protocol list could not be read.
    std::function<void(const std::string &why)> onNotStarted;
    std::function<void(const engine::PortSummary &)> onFinished;
    std::function<void(Seat)> onSeat;

    // The run's clock is its own: the station has nothing to switch.
    void setActive(bool) override {}

private:
    void tick();
    void begin();
    void watchTick();
    void stopWatching();
    void afterEvent();
    void finish(int signalNumber);

    std::string m_port;
    const RunSettings &m_settings;
    port::SerialPortController m_serial;
    std::unique_ptr<engine::PortCheck> m_check;
    std::unique_ptr<engine::PortCheck> m_watch; // between runs; none while the port is closed
    int m_watchReplies = 0;
    engine::PortSummary m_summary;
    QTimer m_ticker;
    std::optional<engine::PollSchedule> m_schedule;
    bool m_testing = false;
    bool m_running = false; // the run's first poll has left
    bool m_watching = false;
    bool m_closed = false; // interrupted: the window is closing
};

} // namespace line
