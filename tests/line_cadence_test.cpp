// converter-line's four slots against four simulated units, each unit logging when every poll
// reached it: every period is 500 ms, the first included, while another program holds the results
// store's write lock across a verdict. Alone on the machine (RUN_SERIAL): it keeps time.

#include "linewindow.h"
#include "resultstore.h"
#include "simlog.h"
#include "simprocess.h"
#include "tempdirectory.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

#include <memory>

TEST(LineCadenceTest, FourSlotsKeepTheirCadenceWhileTheStoreIsLocked)
{
    support::TempDirectory folder;
    const char *const names[] = {"A", "B", "C", "D"};
    std::vector<std::unique_ptr<support::SimProcess>> units;
    line::Options options;
    for (const char *name : names) {
        const QString log = QString::fromStdString((folder / name).string() + ".log");
        units.push_back(
            std::make_unique<support::SimProcess>(QStringList{QStringLiteral("--log"), log}));
        options.positions.push_back({name, units.back()->path()});
    }
    options.run.noProtocols = true;
    options.run.polls = 8;
    const std::string store = (folder / "results.sqlite").string();
    // Started before the window, and told when to take the store's write lock: a process started
    // from the window's thread would hold that thread up for tens of milliseconds, and every slot's
    // poll with it.
    QProcess locker;
    locker.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sqlite3, sys, time\n"
                                 "sys.stdin.readline()\n"
                                 "db = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                                 "db.execute('BEGIN IMMEDIATE')\n"
                                 "print('locked', flush=True)\n"
                                 "time.sleep(4)\n"),
                  QString::fromStdString(store)});
    ASSERT_TRUE(locker.waitForStarted(5000));
    line::LineWindow window(options, {"ada", "line-2", "converter-line", "1", "id", {}, {}},
                            {store, false, true});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const auto scan = [](const char *id) {
        QTest::keyClicks(QApplication::focusWidget(), QString::fromLatin1(id));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    };
    const auto says = [&](std::size_t slot, const char *word) {
        return window.panel(slot)->verdict()->accessibleDescription().startsWith(
            QLatin1String(word));
    };
    scan("SN-1");
    QTest::qWait(2000);
    scan("SN-2");
    scan("SN-3");
    scan("SN-4");
    locker.write("lock\n");
    // Waited for as the window's own loop runs: blocking here would stop every slot's clock.
    ASSERT_TRUE(QTest::qWaitFor([&] { return locker.canReadLine(); }, 5000))
        << "the store's write lock was never taken";
    EXPECT_TRUE(QTest::qWaitFor([&] { return says(0, "PASS"); }, 5000));
    EXPECT_EQ(locker.state(), QProcess::Running) << "the verdict came only once the lock was gone";
    for (std::size_t slot = 1; slot < 4; ++slot)
        EXPECT_TRUE(QTest::qWaitFor([&] { return says(slot, "PASS"); }, 8000))
            << slot << ": " << window.panel(slot)->verdict()->accessibleDescription().toStdString();
    locker.waitForFinished(10000);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            store::ResultStore results(store, store::ResultStore::Access::Read);
            auto count = results.db().prepare("SELECT count(*) FROM runs WHERE verdict = 'pass'");
            return count.step() && count.integer(0) == 4;
        },
        35000))
        << "four runs on record once the lock was gone";

    units.clear(); // each unit's log is whole once it ends
    for (const char *name : names) {
        SCOPED_TRACE(name);
        const std::vector<double> polls = support::pollTimesMs((folder / name).string() + ".log");
        // The run's eight and those between runs, all on one clock: only the period after a
        // run's last poll passes without one (and the port is opened again after it).
        ASSERT_GE(polls.size(), 8u);
        for (std::size_t i = 1; i < polls.size(); ++i) {
            const double period = polls[i] - polls[i - 1];
            EXPECT_TRUE(std::abs(period - 500) <= 20 || (period >= 980 && period <= 1060))
                << "poll " << i + 1 << ": " << period << " ms of " << polls.size();
        }
    }
}
