#include "checkrun.h"

#include "terminaltext.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

namespace check {

using station::Field;

namespace {

void say(const std::string &message)
{
    std::fprintf(stderr, "converter-check: %s\n", message.c_str());
}

// The tooltip's reason on the message's line, the hint after it on lines of its own, indented.
std::string indentedLines(std::string text)
{
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        text.replace(at, 1, "\n  ");
    return text;
}

std::string counted(int count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

std::string protocolFileProblem(const std::string &path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error)
        return error.message();
    if (!std::filesystem::is_regular_file(status))
        return "not a regular file";
    if (std::filesystem::file_size(path, error) > station::protocolFileLimitBytes)
        return "larger than any list of 256 protocols";
    std::ifstream file(path);
    if (!file)
        return std::strerror(errno);
    return "not a list of protocol numbers and names, one record after the other";
}

CheckRun::CheckRun(const Options &options, port::SerialPortController &serial,
                   station::PortController &line, RecordingPort *recorder, std::FILE *out)
    : m_options(options), m_out(out), m_recorder(recorder),
      m_window(options.port, options.noProtocols),
      m_station(m_window, m_window, *this, m_window, line)
{
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(station::pollPeriod);
    connect(&m_ticker, &QTimer::timeout, this, &CheckRun::onTick);
    connect(&serial, &port::SerialPortController::dataArrived, this, &CheckRun::onDataArrived);
}

int CheckRun::run()
{
    // Without a list the station's start-up fails and, told OK, goes on with "Unknown Protocol".
    const std::string protocols = m_options.noProtocols ? std::string()
                                  : m_options.protocols.empty()
                                      ? std::string(station::protocolFileName)
                                      : m_options.protocols;
    m_station.setProtocolFilePath(protocols);
    m_station.onLoad();
    if (m_window.hasEnded()) {
        say(std::string(station::startupFailureText) + ": " + cli::printable(protocols) + ": " +
            protocolFileProblem(protocols) + " (--no-protocols goes on without names)");
        return ProtocolsUnread;
    }

    m_station.onStartClick();
    if (!m_window.isEnabled(station::Control::cmdStop)) {
        say(std::string(station::openFailureText) + " " + cli::printable(m_options.port) + ": " +
            indentedLines(m_window.toolTip(Field::lblRxDataResult)));
        return PortNotOpened;
    }
    // Created only now: a check that cannot start leaves an earlier capture of that name alone.
    if (m_recorder) {
        if (const auto refused = cli::EvidenceFile::create(m_options.record, m_capture)) {
            say(cli::printable(m_options.record) + ": " + cli::printable(*refused) +
                "; nothing was recorded");
            m_station.onStopClick();
            return RecordNotCreated;
        }
        m_recorder->attach(*m_capture);
        if (!captureHolds())
            return m_status;
    }
    // The first poll goes out at once, the next ones at each tick of the poll period.
    onTick();
    if (!m_finished) // an exit asked for before the loop runs would be lost
        QCoreApplication::exec();
    return m_status;
}

void CheckRun::setActive(bool active)
{
    if (active)
        m_ticker.start();
    else
        m_ticker.stop();
}

void CheckRun::onTick()
{
    if (m_finished)
        return;
    if (m_polls > 0)
        closePeriod();
    if (m_finished)
        return;
    if (m_polls == m_options.polls) {
        finish();
        return;
    }
    ++m_polls;
    m_station.onTimer();
    captureHolds();
}

void CheckRun::closePeriod()
{
    std::optional<Reply> shown = std::exchange(m_shown, std::nullopt);
    if (!shown) {
        ++m_unanswered;
        // The station shows "No Reply" only while the poll awaits an end byte; a period whose
        // bytes ended in a data 0xFF had no complete reply either.
        if (!m_options.json)
            writeOut("Poll " + std::to_string(m_polls) + ": " +
                     (m_station.isAwaitingReply() ? std::string(station::noReplyText)
                                                  : "no complete reply") +
                     "\n\n");
        return;
    }
    if (station::completeEndCount(m_station.receiveBuffer()) > 1) {
        // The station decoded the period's bytes from their first byte, which belongs to the
        // earlier reply: none of its fields is this poll's answer.
        shown->twoReplies = true;
        shown->written.reset();
        shown->written.set(static_cast<std::size_t>(Field::lblRxDataResult));
    }
    report(*shown);
    m_lastReply = std::move(shown);
    if (m_finished)
        return;
    if (m_options.untilReply && verdictOf(*m_lastReply) != Verdict::NoTests)
        finish();
}

void CheckRun::onDataArrived()
{
    if (m_finished)
        return;
    m_window.forgetWrites();
    m_station.onDataArrived();
    if (!captureHolds())
        return;
    // The station shows a complete reply's bytes; any other end leaves the field alone.
    if (m_window.wasWritten(Field::lblRxDataResult) &&
        !m_window.text(Field::lblRxDataResult).empty()) {
        const station::Bytes &bytes = m_station.receiveBuffer();
        m_shown = Reply{m_polls,
                        std::chrono::system_clock::now(),
                        bytes,
                        m_window.texts(),
                        m_window.backgrounds(),
                        m_window.writes(),
                        station::statusReading(bytes)};
    }
}

void CheckRun::report(const Reply &reply)
{
    ++m_replies;
    writeOut(m_options.json ? jsonReport(reply) + "\n" : textReport(reply) + "\n");
}

// A report that cannot be written ends the check: a test executive would otherwise file an
// empty or cut report beside a passing status.
bool CheckRun::writeOut(const std::string &text)
{
    if (std::fputs(text.c_str(), m_out) >= 0 && std::fflush(m_out) == 0)
        return true;
    if (errno == EPIPE) {
        // The reader is gone, as with `| head`: the status a shell gives SIGPIPE, and no message.
        end(signalStatusBase + SIGPIPE);
    } else {
        say(std::string("standard output: ") + std::strerror(errno) + "; the report is lost");
        end(OutputFailed);
    }
    return false;
}

void CheckRun::sayCaptureLost() const
{
    say(cli::printable(m_options.record) + ": " + m_capture->error() +
        "; what was recorded until then is in " + cli::printable(m_capture->partPath()));
}

bool CheckRun::captureHolds()
{
    if (m_finished || !m_recorder || !m_recorder->hasFailed())
        return !m_finished;
    sayCaptureLost();
    m_recorder = nullptr; // nothing more is written to it
    end(OutputFailed);
    return false;
}

void CheckRun::finish()
{
    std::string message;
    const int status = decide(message);
    // The counts close the first line; a hint, if any, follows on its own lines.
    const std::size_t firstLineEnd = std::min(message.find('\n'), message.size());
    message.insert(firstLineEnd, " (" + counted(m_polls, "poll", "polls") + ", " +
                                     counted(m_replies, "reply", "replies") + ", " +
                                     std::to_string(m_unanswered) + " unanswered)");
    say(message);
    end(status);
}

int CheckRun::decide(std::string &message) const
{
    if (!m_lastReply) {
        message = "no complete reply in " + counted(m_polls, "poll", "polls");
        const std::string &why = m_window.toolTip(Field::lblRxDataResult);
        if (!why.empty())
            message += ": " + indentedLines(why);
        return NoReply;
    }
    const std::string which = "the reply to poll " + std::to_string(m_lastReply->poll);
    switch (verdictOf(*m_lastReply)) {
    case Verdict::Pass:
        // A unit that passed once and then fell silent has not passed: the window would show
        // "No Reply" and blank verdicts by now.
        if (m_lastReply->poll != m_polls) {
            message = "no reply to the last poll (poll " + std::to_string(m_polls) + "); " + which +
                      " passed";
            return NoReply;
        }
        message = "PASS: all five line tests OK in " + which;
        return Passed;
    case Verdict::Fail: {
        message = "FAIL: ";
        const auto failed = failedTests(*m_lastReply);
        for (std::size_t i = 0; i < failed.size(); ++i)
            message += (i ? ", " : "") + std::string(failed[i]);
        message += " in " + which;
        return TestsFailed;
    }
    case Verdict::NoTests:
        break;
    }
    message = "no verdict in poll " + std::to_string(m_lastReply->poll) + ": " +
              std::string(noVerdictReason(*m_lastReply));
    return NoReply;
}

void CheckRun::interrupt(int signalNumber)
{
    if (m_finished)
        return;
    say(std::string("stopped by signal ") + ::strsignal(signalNumber) + "; the port is closed");
    end(signalStatusBase + signalNumber);
}

void CheckRun::end(int status)
{
    m_finished = true;
    m_status = status;
    m_station.onStopClick(); // closes the port and stops the ticks
    if (m_recorder && m_capture && !m_recorder->finish()) {
        sayCaptureLost();
        m_status = OutputFailed;
    }
    QCoreApplication::exit(m_status);
}

} // namespace check
