// Polls a converter unit from the command line and decides pass or fail by the exit status, with
// the station's own decoding: for production test lines and for capturing a unit's behaviour.

#include "checkoptions.h"
#include "checkrun.h"
#include "recordingport.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sys/signalfd.h>
#include <unistd.h>

int main(int argc, char **argv)
{
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
        std::printf("converter-check %s\n", STATION_VERSION);
        return 0;
    }

    // Ctrl+C, SIGTERM and SIGHUP arrive as events, so the port is closed before the program
    // ends; blocked here, before any thread starts, they stay blocked in every thread.
    sigset_t quitSignals;
    ::sigemptyset(&quitSignals);
    for (const int number : {SIGINT, SIGTERM, SIGHUP})
        ::sigaddset(&quitSignals, number);
    ::pthread_sigmask(SIG_BLOCK, &quitSignals, nullptr);
    const int signalDescriptor = ::signalfd(-1, &quitSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    std::signal(SIGPIPE, SIG_IGN);

    std::FILE *record = nullptr;
    if (!options.record.empty()) {
        record = std::fopen(options.record.c_str(), "w");
        if (!record) {
            std::fprintf(stderr, "converter-check: %s: %s\n", options.record.c_str(),
                         std::strerror(errno));
            return check::RecordNotCreated;
        }
    }

    int qtArgc = 1;
    QCoreApplication application(qtArgc, argv);
    port::SerialPortController serial;
    std::optional<check::RecordingPort> recorder;
    if (record)
        recorder.emplace(serial, record);
    station::PortController &line =
        recorder ? static_cast<station::PortController &>(*recorder) : serial;
    check::CheckRun check(options, serial, line, stdout);

    QSocketNotifier quitNotifier(signalDescriptor, QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, [&] {
        signalfd_siginfo info{};
        if (::read(signalDescriptor, &info, sizeof info) == sizeof info)
            check.interrupt(static_cast<int>(info.ssi_signo));
    });

    const int status = check.run();
    if (record)
        std::fclose(record);
    return status;
}
