// Runs the station headless against a serial port for a while, with the real adapter, a precise
// 500 ms timer and a real tick pause, and reports the process's CPU time. With --shown-log it
// logs the CLOCK_MONOTONIC time at which each complete reply reached the hex field.
//
//   poll_harness PORT SECONDS [--shown-log FILE]

#include "fakes.h"
#include "monotonicclock.h"
#include "processusage.h"
#include "serialportcontroller.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <thread>

namespace {

class TimedWindow : public fakes::FakeWindow
{
public:
    void setText(station::Field field, std::string_view text) override
    {
        if (field == station::Field::lblRxDataResult && text.size() > 2 && text != "No Reply") {
            if (shownLog)
                std::fprintf(shownLog, "shown %.6f\n", monotonicSeconds());
            ++replies;
        }
        if (field == station::Field::lblRxDataResult && text == "No Reply")
            ++noReplies;
        FakeWindow::setText(field, text);
    }
    void pause(std::chrono::milliseconds length) override { std::this_thread::sleep_for(length); }

    std::FILE *shownLog = nullptr;
    int replies = 0;
    int noReplies = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: poll_harness PORT SECONDS [--shown-log FILE]\n");
        return 2;
    }
    TimedWindow window;
    window.recording = false;
    if (argc >= 5 && std::string(argv[3]) == "--shown-log") {
        window.shownLog = std::fopen(argv[4], "w");
        std::setvbuf(window.shownLog, nullptr, _IOLBF, 0);
    }
    port::SerialPortController adapter;
    station::StationWindow station(window, window, window, window, adapter);
    QObject::connect(&adapter, &port::SerialPortController::dataArrived,
                     [&] { station.onDataArrived(); });

    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(station::pollPeriod);
    QObject::connect(&timer, &QTimer::timeout, [&] { station.onTimer(); });

    station.onLoad();
    window.comPort = argv[1];
    station.onStartClick();
    if (!window.timerActive) {
        std::fprintf(stderr, "could not open %s: %s\n", argv[1],
                     window.toolTip(station::Field::lblRxDataResult).c_str());
        return 1;
    }
    timer.start();

    const double runSeconds = std::atof(argv[2]);
    const double cpuStart = support::processCpuSeconds();
    const double wallStart = monotonicSeconds();
    QTimer::singleShot(static_cast<int>(runSeconds * 1000), &application, &QCoreApplication::quit);
    application.exec();
    const double cpu = support::processCpuSeconds() - cpuStart;
    const double wall = monotonicSeconds() - wallStart;
    std::printf("wall %.1f s, cpu %.3f s = %.3f%% of a core, %d replies shown, %d No Reply\n", wall,
                cpu, 100.0 * cpu / wall, window.replies, window.noReplies);
    station.onStopClick();
    return 0;
}
