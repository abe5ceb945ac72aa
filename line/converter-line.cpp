// The operator's window of a production line: scan a unit into a fixture slot, read its verdict
// from two metres, scan the next.

#include "displayprobe.h"
#include "identity.h"
#include "lineoptions.h"
#include "linewindow.h"
#include "quitsignals.h"
#include "terminaltext.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

// On standard error, and in a message box for an operator who started it from the menu (not from
// a terminal, which shows standard error). A quit signal closes the box: the signals wait on
// `signalDescriptor`, so a modal box would hold them off for as long as it stood.
int refuse(const std::string &message, int status, int argc, char **argv, int signalDescriptor)
{
    std::fprintf(stderr, "converter-line: %s\n", message.c_str());
    if (::isatty(STDERR_FILENO) || (!QCoreApplication::instance() &&
                                    ((!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) ||
                                     line::displayProblem(argc, argv))))
        return status;
    std::optional<QApplication> application;
    if (!QCoreApplication::instance())
        application.emplace(argc, argv);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("converter-line"),
                    QString::fromStdString(message), QMessageBox::Ok);
    QObject::connect(&box, &QMessageBox::finished, [] { QApplication::quit(); });
    QSocketNotifier quitNotifier(signalDescriptor, QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, [&] {
        signalfd_siginfo info{};
        if (::read(signalDescriptor, &info, sizeof info) == sizeof info)
            status = engine::signalStatusBase + static_cast<int>(info.ssi_signo);
        QApplication::quit();
    });
    box.show();
    QApplication::exec();
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    cli::openClosedStandardDescriptors();
    line::Options options;
    std::string usageProblem;
    try {
        options = line::parseOptions(argc, argv);
    } catch (const line::UsageError &error) {
        usageProblem = error.what();
    }
    if (options.help) {
        std::fputs(line::usageText, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("converter-line %s\n", std::string(station::version).c_str());
        return 0;
    }

    // Quit signals arrive as events, so that each run under way is recorded as interrupted and
    // every port released before the program ends.
    const int signalDescriptor = cli::quitSignalDescriptor();

    if (!usageProblem.empty())
        return refuse(usageProblem + "\nTry 'converter-line --help'.", engine::BadUsage, argc, argv,
                      signalDescriptor);
    if (const auto problem = line::displayProblem(argc, argv)) {
        std::fprintf(stderr,
                     "converter-line: %s. To test units without a window, use "
                     "converter-check.\n",
                     problem->c_str());
        return engine::NoDisplay;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("converter-line"));

    const engine::StoreChoice store = engine::storeChoice(options.run);
    // A store that cannot be written now may be later (a share mounted): each scan asks.
    if (const auto refused = engine::storeRefusedBeforeRun(store, false))
        return refuse("results store " + cli::printable(store.path) + ": " + *refused,
                      engine::RecordNotCreated, argc, argv, signalDescriptor);
    engine::RunIdentity identity = engine::runIdentity(options.run, "converter-line");
    if (!options.run.noProtocols)
        engine::noteProtocolList(identity, options.run.protocols.empty()
                                               ? std::string(station::protocolFileName)
                                               : options.run.protocols);
    line::LineWindow window(options, identity, store);
    if (const std::string problem = window.protocolProblem(); !problem.empty())
        return refuse(std::string(station::startupFailureText) + ": " + problem +
                          " (--protocols FILE names another list; --no-protocols goes on "
                          "without names)",
                      engine::ProtocolsUnread, argc, argv, signalDescriptor);

    // Ended by a quit signal, it exits as converter-check does: 128 + the signal's number.
    int quitSignal = 0;
    QSocketNotifier quitNotifier(signalDescriptor, QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, [&] {
        signalfd_siginfo info{};
        if (::read(signalDescriptor, &info, sizeof info) == sizeof info) {
            quitSignal = static_cast<int>(info.ssi_signo);
            window.interruptAll(quitSignal);
            QApplication::quit();
        }
    });
    // Where the operator left it, else maximised on its screen.
    QSettings settings(QStringLiteral("converter-station"), QStringLiteral("converter-line"));
    if (window.restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray()))
        window.show();
    else
        window.showMaximized();
    const int status = QApplication::exec();
    settings.setValue(QStringLiteral("geometry"), window.saveGeometry());
    return quitSignal ? engine::signalStatusBase + quitSignal : status;
}
