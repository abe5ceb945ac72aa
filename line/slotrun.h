#pragma once

// One fixture slot's unit under test: its serial line, the run engine's check of that unit on
// its own 500 ms clock, and the decision when the run is over.

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

class SlotRun : public station::PollTimer
{
public:
    SlotRun(std::string port, const RunSettings &settings);
    ~SlotRun() override;

    bool isTesting() const { return m_testing; }
    const std::string &port() const { return m_port; }

    // Tests the unit: the first poll at once, the next every 500 ms, then onFinished.
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

    // The run's clock is its own: the station has nothing to switch.
    void setActive(bool) override {}

private:
    void afterEvent();
    void finish(int signalNumber);

    std::string m_port;
    const RunSettings &m_settings;
    port::SerialPortController m_serial;
    std::unique_ptr<engine::PortCheck> m_check;
    engine::PortSummary m_summary;
    QTimer m_ticker;
    std::optional<engine::PollSchedule> m_schedule;
    bool m_testing = false;
};

} // namespace line
