#include "checkrun.h"

#include "identity.h"
#include "inputfile.h"
#include "sha256.h"
#include "terminaltext.h"
#include "uuid.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <utility>

namespace check {

using station::Field;

namespace {

void say(const std::string &message)
{
    std::fprintf(stderr, "converter-check: %s\n", message.c_str());
}

} // namespace

PortLine::PortLine(PortSetup setup, bool record)
{
    if (record)
        recorder.emplace(serial);
    station::PortController &line =
        recorder ? static_cast<station::PortController &>(*recorder) : serial;
    check = std::make_unique<PortCheck>(std::move(setup), line, *this);
}

CheckRun::CheckRun(const Options &options, std::FILE *out, int signalDescriptor)
    : m_options(options), m_out(out), m_output(::fileno(out), signalDescriptor)
{
    m_identity = runIdentity(options, "converter-check");
    m_store = storeChoice(options);
    const std::string protocols = options.noProtocols ? std::string()
                                  : options.protocols.empty()
                                      ? std::string(station::protocolFileName)
                                      : options.protocols;
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        PortSetup setup{options.ports[i],    protocols,
                        options.noProtocols, options.polls,
                        options.untilReply,  std::chrono::milliseconds(options.cadenceToleranceMs)};
        auto line = std::make_unique<PortLine>(std::move(setup), !options.record.empty());
        PortLine &l = *line;
        l.heading = {cli::printable(options.ports[i], 4096), options.unitIds[i], cli::randomUuid(),
                     m_identity.invocationId};
        l.adapter = cli::adapterOf(options.ports[i]);
        connect(&l.serial, &port::SerialPortController::dataArrived, this, [this, &l] {
            if (m_finished)
                return;
            l.check->dataArrived();
            afterEvent();
        });
        l.check->onReply = [this, &heading = l.heading](const Reply &reply) {
            if (!m_options.quiet)
                writeOut(m_options.json ? jsonReport(reply, heading) + "\n"
                                        : textReport(reply, heading) + "\n");
        };
        l.check->onMissed = [this, &l](int poll, station::PollOutcome outcome, bool noReply) {
            if (m_options.json || m_options.quiet)
                return;
            const std::string shown = noReply ? std::string(station::noReplyText) + ": " : "";
            writeOut("Poll " + std::to_string(poll) + ": " + shown +
                     std::string(station::pollOutcomeReason(outcome)) + portPrefix(l) + "\n\n");
        };
        m_lines.push_back(std::move(line));
    }
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setSingleShot(true);
    connect(&m_ticker, &QTimer::timeout, this, &CheckRun::onTick);
}

std::string CheckRun::portPrefix(const PortLine &line) const
{
    if (m_lines.size() < 2)
        return {};
    return " (" + cli::printable(line.check->setup().port) + ")";
}

int CheckRun::run()
{
    // Every list is read before any port opens: a check that cannot start polls nothing.
    for (const auto &line : m_lines) {
        if (!line->check->load()) {
            say(std::string(station::startupFailureText) + ": " +
                cli::printable(line->check->startupProblem(), 4096) +
                " (--protocols FILE names another list; --no-protocols goes on without names)");
            return ProtocolsUnread;
        }
    }
    if (!m_options.noProtocols)
        noteProtocolList(m_identity, m_lines.front()->check->setup().protocols);
    if (const auto refused = storeRefusedBeforeRun(m_store)) {
        say("results store " + cli::printable(m_store.path) + ": " + cli::printable(*refused) +
            "; no port was polled (--store FILE names another, --no-store records nothing)");
        return RecordNotCreated;
    }
    // Created before the ports open, so that a port that does not open is in the report; an
    // earlier report of that name is replaced only by a whole one.
    if (!m_options.junit.empty()) {
        if (const auto refused = cli::EvidenceFile::create(m_options.junit, m_junit)) {
            say(cli::printable(m_options.junit) + ": " + cli::printable(*refused) +
                "; no port was polled");
            return RecordNotCreated;
        }
    }
    for (const auto &line : m_lines) {
        line->start = std::chrono::system_clock::now();
        if (!line->check->start()) {
            line->end = line->start;
            continue;
        }
        // Created only now: a check that cannot start leaves an earlier capture of that name
        // alone.
        if (line->recorder) {
            if (const auto refused = cli::EvidenceFile::create(m_options.record, m_capture)) {
                say(cli::printable(m_options.record) + ": " + cli::printable(*refused) +
                    "; nothing was recorded");
                end(RecordNotCreated);
                return m_status;
            }
            line->recorder->describe(captureFacts(line->heading, m_identity));
            line->recorder->attach(*m_capture);
            line->recording = true;
            if (!captureHolds())
                return m_status;
        }
    }
    // The first poll goes out at once, the next ones at each tick.
    m_startedAt = std::chrono::steady_clock::now();
    m_schedule.emplace(m_startedAt);
    onTick();
    if (!m_finished) // an exit asked for before the loop runs would be lost
        QCoreApplication::exec();
    return m_status;
}

void CheckRun::onTick()
{
    const auto now = std::chrono::steady_clock::now();
    m_ticker.start(PollSchedule::wait(now, m_schedule->next(now)));
    for (const auto &line : m_lines) {
        if (m_finished)
            return;
        line->check->tick(); // nothing once its run is over
    }
    showProgress();
    afterEvent();
}

// A quiet run on a terminal: one line, rewritten in place at each poll.
void CheckRun::showProgress()
{
    if (!m_options.quiet || !::isatty(STDERR_FILENO) || m_finished)
        return;
    std::vector<std::pair<std::string, const RunRecord *>> ports;
    for (const auto &port : m_lines)
        ports.emplace_back(port->heading.unitId.empty() ? port->heading.port : port->heading.unitId,
                           &port->check->record());
    const std::string line = progressLine(m_options.polls,
                                          std::chrono::duration_cast<std::chrono::seconds>(
                                              std::chrono::steady_clock::now() - m_startedAt),
                                          ports);
    std::fprintf(stderr, "\r\x1B[K%s", cli::printable(line, 400).c_str());
    m_progressShown = true;
}

// Ends the check once every port's run is over.
void CheckRun::afterEvent()
{
    if (m_finished || !captureHolds())
        return;
    bool allOver = true;
    for (const auto &line : m_lines) {
        if (line->check->isOver() && line->end < line->start)
            line->end = std::chrono::system_clock::now();
        allOver = allOver && line->check->isOver();
    }
    if (allOver)
        finish();
}

// A report that cannot be written ends the check: a test executive would otherwise file an
// empty or cut report beside a passing status. A reader that stops reading holds up no quit
// signal.
bool CheckRun::writeOut(const std::string &text)
{
    if (m_finished || m_outputDropped)
        return false;
    std::fflush(m_out);
    switch (m_output.write(text)) {
    case cli::QuitAwareOutput::Result::Written:
        return true;
    case cli::QuitAwareOutput::Result::Signalled: {
        // Handled once the station is out of the handler that wrote this.
        const int number = m_output.signalNumber();
        m_output.setDeadline(std::chrono::steady_clock::now() + std::chrono::seconds(1));
        QMetaObject::invokeMethod(
            this, [this, number] { interrupt(number); }, Qt::QueuedConnection);
        return false;
    }
    case cli::QuitAwareOutput::Result::TimedOut:
        m_outputDropped = true;
        say("standard output took nothing for a second after the signal: the rest of the report "
            "on it is dropped");
        return false;
    case cli::QuitAwareOutput::Result::Failed:
        break;
    }
    if (m_interrupted) {
        m_outputDropped = true; // the signal's status stands
        return false;
    }
    if (m_output.error() == EPIPE) {
        // The reader is gone, as with `| head`: the status a shell gives SIGPIPE, and no message.
        end(signalStatusBase + SIGPIPE);
    } else {
        say(std::string("standard output: ") + std::strerror(m_output.error()) +
            "; the report is lost");
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
    for (const auto &line : m_lines) {
        if (m_finished)
            return false;
        if (line->recording && line->recorder->stoppedAt() && !std::exchange(line->toldFull, true))
            say(cli::printable(m_options.record) + ": recording stopped at " +
                std::to_string(static_cast<long>(*line->recorder->stoppedAt())) +
                " s, at the 64 MiB a replay reads; polling goes on");
        if (!line->recording || !line->recorder->hasFailed())
            continue;
        sayCaptureLost();
        line->recording = false; // nothing more is written to it
        end(OutputFailed);
        return false;
    }
    return !m_finished;
}

void CheckRun::finish()
{
    if (std::exchange(m_progressShown, false))
        std::fputs("\r\x1B[K", stderr);
    std::vector<PortSummary> summaries;
    int status = Passed;
    for (std::size_t index = 0; index < m_lines.size(); ++index) {
        const auto &line = m_lines[index];
        const PortCheck &check = *line->check;
        const RunRecord &record = check.record();
        PortSummary summary{
            line->heading.runId,
            line->heading.port,
            line->heading.unitId,
            line->start,
            line->end,
            record,
            m_interrupted
                ? interruptedRun(record, m_options.expected, m_options.maxMissed, m_interrupted)
                : decideRun(record, m_options.expected, m_options.maxMissed),
            m_options.slotNames[index],
            m_options.fixtureId,
            line->adapter,
            isGoldenUnit(m_options, line->heading.unitId)};
        // 3 before 2 before 1 before 0.
        status = std::max(status, summary.decision.exitStatus);
        summaries.push_back(std::move(summary));
    }
    if (m_interrupted)
        status = signalStatusBase + m_interrupted;
    if (m_options.json)
        for (const PortSummary &summary : summaries)
            if (!writeOut(summaryJson(summary, m_identity) + "\n") && !m_interrupted)
                return;
    for (std::size_t i = 0; i < summaries.size(); ++i) {
        const std::string &message = summaries[i].decision.message;
        if (summaries[i].record.startFailure)
            say(std::string(station::openFailureText) + " " + cli::printable(m_options.ports[i]) +
                message.substr(message.find(':')));
        else
            say(m_lines.size() > 1 ? cli::printable(m_options.ports[i]) + ": " + message : message);
    }
    if (m_lines.size() > 1)
        std::fputs(("\n" + summaryTable(summaries)).c_str(), stderr);
    if (m_junit && !writeJunit(summaries))
        return;
    // Last: a store that cannot be written leaves every other report whole.
    if (const auto failed = recordRuns(m_store, summaries, m_identity)) {
        say("results store " + cli::printable(m_store.path) + ": " + failed->reason +
            "; the run is not on record");
        status = m_interrupted ? status : failed->status;
    }
    end(status);
}

bool CheckRun::writeJunit(const std::vector<PortSummary> &summaries)
{
    std::string document = junitXml(summaries, m_identity);
    document.pop_back(); // the line end that writeLine adds
    if (m_junit->writeLine(document) && m_junit->finish())
        return true;
    say(cli::printable(m_options.junit) + ": " + m_junit->error() + "; the report is lost");
    m_junit->discard();
    end(OutputFailed);
    return false;
}

void CheckRun::interrupt(int signalNumber)
{
    if (m_finished || m_interrupted)
        return;
    m_interrupted = signalNumber;
    m_output.setDeadline(std::chrono::steady_clock::now() + std::chrono::seconds(1));
    const auto now = std::chrono::system_clock::now();
    for (const auto &line : m_lines) {
        if (line->end < line->start)
            line->end = now;
        line->check->stop(); // no more polls; the port is closed
    }
    std::string kept = "the port is closed";
    if (m_capture)
        kept += "; the capture is " + cli::printable(m_options.record);
    if (m_junit)
        kept += "; the JUnit report is " + cli::printable(m_options.junit);
    say(std::string("stopped by signal ") + ::strsignal(signalNumber) + "; " + kept);
    finish();
}

void CheckRun::end(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    m_status = status;
    for (const auto &line : m_lines) {
        line->check->stop(); // closes the port and stops the ticks
        if (line->recording && !line->recorder->finish()) {
            sayCaptureLost();
            m_status = OutputFailed;
        }
    }
    // A report is whole or nothing: a run cut short by a failure writes none.
    if (m_junit)
        m_junit->discard();
    QCoreApplication::exit(m_status);
}

} // namespace check
