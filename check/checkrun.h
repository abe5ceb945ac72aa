#pragma once

#include "checkoptions.h"
#include "evidencefile.h"
#include "portcheck.h"
#include "recordingport.h"
#include "runreport.h"
#include "serialportcontroller.h"

#include <QObject>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace check {

// One port under test: its serial line, its own 500 ms cycle and its own station logic.
class PortLine : public QObject, public station::PollTimer
{
    Q_OBJECT

public:
    PortLine(PortSetup setup, bool record);

    void setActive(bool active) override;

    port::SerialPortController serial;
    std::optional<RecordingPort> recorder;
    QTimer ticker;
    std::unique_ptr<PortCheck> check;
    std::string unitId;
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
    CheckRun(const Options &options, std::FILE *out);

    // Runs the check in the application's event loop and returns the exit status.
    int run();
    // Ends a running check at once, the ports closed, with the status a shell gives the signal.
    void interrupt(int signalNumber);

private:
    void onTick(PortLine &line);
    void afterEvent(PortLine &line);
    bool writeOut(const std::string &text);
    bool captureHolds();
    void sayCaptureLost() const;
    void finish();
    bool writeJunit(const std::vector<PortSummary> &summaries);
    void end(int status);
    std::string portPrefix(const PortLine &line) const;

    const Options &m_options;
    std::FILE *m_out;
    RunIdentity m_identity;
    std::vector<std::unique_ptr<PortLine>> m_lines;
    std::optional<cli::EvidenceFile> m_capture;
    std::optional<cli::EvidenceFile> m_junit;
    bool m_finished = false;
    int m_status = 0;
};

// Why a protocol list could not be read: the system's reason, or what is wrong with the file.
std::string protocolFileProblem(const std::string &path);

} // namespace check
