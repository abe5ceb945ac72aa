// Polls a converter unit from the command line and decides pass or fail by the exit status, with
// the station's own decoding: for production test lines and for capturing a unit's behaviour.

#include "checkoptions.h"
#include "checkrun.h"
#include "identity.h"
#include "quitsignals.h"
#include "terminaltext.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/signalfd.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    cli::openClosedStandardDescriptors();
    check::Options options;
    try {
        options = check::parseOptions(argc, argv);
    } catch (const check::UsageError &error) {
        std::fprintf(stderr, "converter-check: %s\nTry 'converter-check --help'.\n", error.what());
        return check::BadUsage;
    }
    if (options.help) {
        std::fputs(check::usageText, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("converter-check %s\n", std::string(station::version).c_str());
        return 0;
    }

    // Ctrl+C, SIGTERM and SIGHUP arrive as events, so the port is closed before the program
    // ends.
    const int signalDescriptor = cli::quitSignalDescriptor();
    std::signal(SIGPIPE, SIG_IGN);

    int qtArgc = 1;
    QCoreApplication application(qtArgc, argv);
    check::CheckRun check(options, stdout, signalDescriptor);

    QSocketNotifier quitNotifier(signalDescriptor, QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, [&] {
        signalfd_siginfo info{};
        if (::read(signalDescriptor, &info, sizeof info) == sizeof info)
            check.interrupt(static_cast<int>(info.ssi_signo));
    });

    return check.run();
}
