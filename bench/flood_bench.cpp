// The station's window under a unit that floods the line, as a figure: how late the ticks come,
// how quickly Stop answers, how much the process grows, and whether the first good reply after
// the flood is decoded. Run it with a unit that floods, e.g.
//
//   converter-sim --link /tmp/unit --flood 10 [--flood-marks] &
//   flood_bench /tmp/unit 10

#include "form1.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

long rssKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Records when each tick starts, by the monotonic clock.
class TimedForm : public ui::Form1
{
public:
    void pause(std::chrono::milliseconds length) override
    {
        tickStarts.push_back(clock.nsecsElapsed() / 1e6);
        Form1::pause(length);
    }
    QElapsedTimer clock;
    std::vector<double> tickStarts;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: flood_bench PORT FLOOD_SECONDS\n");
        return 2;
    }
    const double floodSeconds = std::atof(argv[2]);
    TimedForm form;
    form.clock.start();
    form.load();
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);
    QTest::qWait(100);
    const long rssBefore = rssKilobytes();

    form.findChild<QComboBox *>(QStringLiteral("cmbComPort"))->setCurrentText(argv[1]);
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("cmdStart")), Qt::LeftButton);
    QTest::qWait(static_cast<int>(floodSeconds * 1000));
    const long rssAfterFlood = rssKilobytes();
    QTest::qWait(1600); // the flood is over: the next polls are answered properly

    const auto *hex = form.field(station::Field::lblRxDataResult);
    const bool decoded = hex->text().endsWith(QStringLiteral("80 FF ")) &&
                         form.field(station::Field::lblCdDtrResult)->text() == "OK" &&
                         form.field(station::Field::lblTimeTagEndData)->text().endsWith("IRIG-B");

    // Stop, clicked as an operator does; timed until the station has stopped.
    auto *stop = form.findChild<QPushButton *>(QStringLiteral("cmdStop"));
    QElapsedTimer stopClock;
    stopClock.start();
    QTest::mouseClick(stop, Qt::LeftButton);
    const double stopMs = stopClock.nsecsElapsed() / 1e6;

    double worstLateness = 0;
    for (std::size_t i = 1; i < form.tickStarts.size(); ++i) {
        const double expected = form.tickStarts.front() + 500.0 * static_cast<double>(i);
        worstLateness = std::max(worstLateness, form.tickStarts[i] - expected);
    }
    std::printf("ticks %zu, worst tick lateness %.2f ms, RSS growth %.2f MiB (flood end) "
                "%.2f MiB (now), Stop handled in %.2f ms, first reply after the flood %s\n",
                form.tickStarts.size(), worstLateness, (rssAfterFlood - rssBefore) / 1024.0,
                (rssKilobytes() - rssBefore) / 1024.0, stopMs,
                decoded ? "decoded correctly" : "NOT decoded");
    return decoded ? 0 : 1;
}
