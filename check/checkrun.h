#pragma once

#include "checkoptions.h"
#include "evidencefile.h"
#include "headlesswindow.h"
#include "recordingport.h"
#include "report.h"
#include "serialportcontroller.h"
#include "stationwindow.h"

#include <QObject>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string>

namespace check {

// One check of one unit: the station's start-up, Start, a poll every 500 ms and the decoding of
// each reply, all by the station's own logic on a window without a display; then the decision.
// It decides on whole poll periods, each from one poll to the next (the last one 500 ms long):
// what a period showed when it ended, never what its first end byte seemed to complete.
class CheckRun : public QObject, public station::PollTimer
{
    Q_OBJECT

public:
    // `line` is the port the station talks through: `serial` itself, or `recorder` in front of
    // it. Replies are reported on `out`, the decision and errors on standard error.
    CheckRun(const Options &options, port::SerialPortController &serial,
             station::PortController &line, RecordingPort *recorder, std::FILE *out);

    // Runs the check in the application's event loop and returns the exit status.
    int run();
    // Ends a running check at once, the port closed, with the status a shell gives the signal.
    void interrupt(int signalNumber);

    void setActive(bool active) override;

private:
    void onTick();
    void closePeriod();
    void onDataArrived();
    void report(const Reply &reply);
    bool writeOut(const std::string &text);
    bool captureHolds();
    void sayCaptureLost() const;
    void finish();
    int decide(std::string &message) const;
    void end(int status);

    const Options &m_options;
    std::FILE *m_out;
    RecordingPort *m_recorder;
    std::optional<cli::EvidenceFile> m_capture;
    HeadlessWindow m_window;
    station::StationWindow m_station;
    QTimer m_ticker;
    int m_polls = 0;
    int m_replies = 0;
    int m_unanswered = 0;
    std::optional<Reply> m_shown; // the last reply the station showed in this poll period
    std::optional<Reply> m_lastReply;
    bool m_finished = false;
    int m_status = 0;
};

// Why a protocol list could not be read: the system's reason, or what is wrong with the file.
std::string protocolFileProblem(const std::string &path);

} // namespace check
