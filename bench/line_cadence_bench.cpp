// converter-line's cadence with many slotCount: N simulated units, each logging when every poll
// reached it, scanned one after another; prints the shortest and longest poll period over all
// slotCount, and the first period's.
//   QT_QPA_PLATFORM=offscreen line_cadence_bench SLOTS [POLLS]

#include "linewindow.h"
#include "simlog.h"
#include "simprocess.h"
#include "tempdirectory.h"

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    const int slotCount = argc > 1 ? std::atoi(argv[1]) : 4;
    const int polls = argc > 2 ? std::atoi(argv[2]) : 20;
    support::TempDirectory folder;
    std::vector<std::unique_ptr<support::SimProcess>> units;
    line::Options options;
    for (int i = 0; i < slotCount; ++i) {
        const std::string name = std::string(1, char('A' + i));
        units.push_back(std::make_unique<support::SimProcess>(QStringList{
            QStringLiteral("--log"), QString::fromStdString((folder / name).string() + ".log")}));
        options.positions.push_back({name, units.back()->path()});
    }
    options.run.noProtocols = true;
    options.run.polls = polls;
    line::LineWindow window(options, {"bench", "bench", "converter-line", "1", "id", {}, {}},
                            {(folder / "results.sqlite").string(), false, true});
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return 1;
    for (int i = 0; i < slotCount; ++i) {
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("SN-%1").arg(i + 1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    const bool done = QTest::qWaitFor(
        [&] {
            for (int i = 0; i < slotCount; ++i)
                if (window.panel(std::size_t(i))
                        ->verdict()
                        ->accessibleDescription()
                        .startsWith(QLatin1String("TESTING")))
                    return false;
            return true;
        },
        (polls + 10) * 500);
    units.clear();
    double shortest = 1e9, longest = 0, firstShortest = 1e9, firstLongest = 0;
    int periods = 0;
    for (int i = 0; i < slotCount; ++i) {
        const std::vector<double> at =
            support::pollTimesMs((folder / std::string(1, char('A' + i))).string() + ".log");
        for (std::size_t p = 1; p < at.size(); ++p) {
            const double period = at[p] - at[p - 1];
            shortest = std::min(shortest, period);
            longest = std::max(longest, period);
            ++periods;
            if (p == 1) {
                firstShortest = std::min(firstShortest, period);
                firstLongest = std::max(firstLongest, period);
            }
        }
    }
    std::printf("%d slots, %d polls each%s: %d periods, %.1f to %.1f ms; first periods %.1f to "
                "%.1f ms\n",
                slotCount, polls, done ? "" : " (NOT ALL DONE)", periods, shortest, longest,
                firstShortest, firstLongest);
    return done ? 0 : 1;
}
