#pragma once

#include "checkoptions.h"
#include "evidencefile.h"
#include "pollschedule.h"
#include "portcheck.h"
#include "quitawareoutput.h"
#include "recordingport.h"
#include "runreport.h"
#include "runstore.h"
#include "serialportcontroller.h"

#include <QObject>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace check {

// One port under test: its serial line, its own station logic and its own poll cycle, which the
// check's clock drives.
class PortLine : public station::PollTimer
{
public:
    PortLine(PortSetup setup, bool record);

    // The check's clock ticks every port; a port whose run is over ignores it.
    void setActive(bool) override {}

    port::SerialPortController serial;
    std::optional<RecordingPort> recorder;
    bool recording = false; // the capture is attached and has not failed
    bool toldFull = false;  // standard error said that the capture reached its limit
    std::unique_ptr<PortCheck> check;
    // Who and what the reports are about: the port as given, safe to print, and its unit id.
    ReportHeading heading;
    cli::AdapterIdentity adapter; // read before the run: the adapter as it was plugged in
    std::chrono::system_clock::time_point start;
    std::chrono::system_clock::time_point end;
};

// A check of every port named, all at the same time on one event loop, then the decision: each
// port's, and the worst of them as the exit status. Replies are reported on `out`, decisions and
// errors on standard error.
class CheckRun : public QObject
{
    Q_OBJECT

public:
    // `signalDescriptor`: a signalfd for the quit signals, watched while standard output waits
    // for its reader; -1 for none.
    CheckRun(const Options &options, std::FILE *out, int signalDescriptor = -1);

    // Runs the check in the application's event loop and returns the exit status.
    int run();
    // Ends a running check at once, the ports closed, its reports written for what was polled
    // (standard output only as far as it takes them within a second), with the status a shell
    // gives the signal.
    void interrupt(int signalNumber);

private:
    void onTick();
    void showProgress();
    void afterEvent();
    bool writeOut(const std::string &text);
    bool captureHolds();
    void sayCaptureLost() const;
    void finish();
    bool writeJunit(const std::vector<PortSummary> &summaries);
    void end(int status);
    std::string portPrefix(const PortLine &line) const;

    const Options &m_options;
    std::FILE *m_out;
    cli::QuitAwareOutput m_output;
    int m_interrupted = 0; // the quit signal that ends the run
    bool m_outputDropped = false;
    bool m_progressShown = false;
    std::chrono::steady_clock::time_point m_startedAt;
    RunIdentity m_identity;
    std::vector<std::unique_ptr<PortLine>> m_lines;
    // One clock for every port's 500 ms cycle: all poll at the same moment.
    QTimer m_ticker;
    std::optional<PollSchedule> m_schedule;
    std::optional<cli::EvidenceFile> m_capture;
    std::optional<cli::EvidenceFile> m_junit;
    StoreChoice m_store; // none under --no-store
    bool m_finished = false;
    int m_status = 0;
};

} // namespace check
