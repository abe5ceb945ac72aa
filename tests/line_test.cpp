// converter-line's window on the offscreen platform: verdicts large and coloured, and the scan
// rules, driven by key presses as a keyboard-wedge scanner sends them, against simulated units.

#include "fixturelife.h"
#include "linewindow.h"
#include "plantconnection.h"
#include "resultstore.h"
#include "shownverdict.h"
#include "simprocess.h"
#include "tempdirectory.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

namespace {

line::Options fixture(std::vector<line::FixtureSlot> positions)
{
    line::Options options;
    options.positions = std::move(positions);
    options.run.noProtocols = true;
    options.run.polls = 2;
    options.maxAttempts = 2;
    return options;
}

const engine::RunIdentity identity{"ada", "bench-7", "converter-line", "1", "invocation", {}, {}};

// A scan typed into slot 0, then its verdict waited for.
void scanInto(line::LineWindow &window, const char *unit, const std::string &verdict)
{
    QTest::keyClicks(window.panel(0)->field(), QString::fromLatin1(unit));
    QTest::keyClick(window.panel(0)->field(), Qt::Key_Return);
    const auto shown = [&] {
        return window.panel(0)->verdict()->accessibleDescription().toStdString();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown().starts_with(verdict); }, 10000)) << shown();
}

} // namespace

TEST(LineWindowTest, VerdictsReadFromTwoMetres)
{
    // Ports as long as a fixture's by-path names.
    const std::string port = "/nonexistent/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port";
    const line::Options options =
        fixture({{"A", port + "0"}, {"B", port + "1"}, {"C", port + "2"}, {"D", port + "3"}});
    line::LineWindow window(options, identity, {});
    window.resize(1280, 720);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // Missing adapters are shown at start, not at the first scan.
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return window.panel(i)->verdict()->shown() == line::Shown::NoAdapter; }, 3000))
            << i;
    struct Row
    {
        line::Shown shown;
        QString word;
        std::function<bool(QColor)> isBackground;
    };
    const Row rows[] = {{line::Shown::Pass, QStringLiteral("PASS"),
                         [](QColor c) {
                             return c.green() > c.red() + 60 && c.green() > c.blue() + 60;
                         }},
                        {line::Shown::Fail, QStringLiteral("FAIL"),
                         [](QColor c) {
                             return c.red() > c.green() + 80 && c.red() > c.blue() + 80;
                         }},
                        {line::Shown::Intermittent, QStringLiteral("INTERMITTENT"),
                         [](QColor c) {
                             return c.red() > 180 && c.green() > 130 && c.blue() < 90;
                         }},
                        {line::Shown::Incomplete, QStringLiteral("INCOMPLETE"), [](QColor c) {
                             return std::abs(c.red() - c.green()) < 16 &&
                                    std::abs(c.green() - c.blue()) < 16 && c.red() > 80 &&
                                    c.red() < 170;
                         }}};
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].word.toStdString());
        window.panel(i)->showVerdict(rows[i].shown, QStringLiteral("SN-1"), 1,
                                     QStringLiteral("TX - RX RTU"));
        window.panel(i)->setCue(i % 2 == 0); // the cue moved on after the verdict
        QApplication::processEvents();
        line::VerdictView *verdict = window.panel(i)->verdict();
        EXPECT_EQ(verdict->accessibleDescription(),
                  rows[i].word + QStringLiteral(" SN-1: TX - RX RTU"));
        EXPECT_GE(verdict->font().pixelSize(), 48);
        const QImage image = verdict->grab().toImage();
        // Mostly the verdict's colour, and ink as tall as capitals 48 px high are.
        int coloured = 0, inkTop = image.height(), inkBottom = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const bool background = rows[i].isBackground(image.pixelColor(x, y));
                coloured += background;
                if (!background) {
                    inkTop = std::min(inkTop, y);
                    inkBottom = std::max(inkBottom, y);
                }
            }
        EXPECT_GT(coloured, image.width() * image.height() * 6 / 10);
        EXPECT_GE(inkBottom - inkTop, 34) << image.width() << "x" << image.height();
        // At 1280x720 every slot's verdict, reason and unit in the window, 24 px or more.
        for (QWidget *part : {static_cast<QWidget *>(verdict),
                              window.panel(i)->findChild<QWidget *>(QStringLiteral("why")),
                              window.panel(i)->findChild<QWidget *>(QStringLiteral("unit"))}) {
            ASSERT_NE(part, nullptr);
            const QRect where(part->mapTo(&window, QPoint(0, 0)), part->size());
            EXPECT_TRUE(QRect(0, 0, 1280, 720).contains(where)) << where.bottom();
            EXPECT_GE(part->font().pixelSize(), 24);
        }
    }
    // However small the window is made, never under 48 px.
    window.resize(400, 300);
    QApplication::processEvents();
    EXPECT_GE(window.panel(0)->verdict()->font().pixelSize(), 48);
    QTest::keyClick(&window, Qt::Key_F11);
    EXPECT_TRUE(window.isFullScreen());
    QTest::keyClick(&window, Qt::Key_F11);
    EXPECT_FALSE(window.isFullScreen());
    // Another window takes the keyboard: a band says scans go there, until this one has it back.
    auto *notReady = window.findChild<QWidget *>(QStringLiteral("notReady"));
    ASSERT_NE(notReady, nullptr);
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_FALSE(notReady->isVisible());
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    EXPECT_TRUE(notReady->isVisible());
    QTest::mouseClick(notReady, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_FALSE(notReady->isVisible());
    // Without a store, a port that did not open is no attempt, and a unit whose verdict is only
    // shown in another slot is not testing there: one unit, three slots, no refusal.
    for (std::size_t i = 0; i < 3; ++i) {
        QTest::keyClicks(window.panel(i)->field(), QStringLiteral("SN-1"));
        QTest::keyClick(window.panel(i)->field(), Qt::Key_Return);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return window.panel(i)->verdict()->accessibleDescription().startsWith(
                    QStringLiteral("INCOMPLETE SN-1"));
            },
            3000))
            << window.panel(i)->verdict()->accessibleDescription().toStdString();
        EXPECT_EQ(window.panel(i)->note(), QString());
    }
    // A store that cannot be written: every scan refused, nothing tested, until it can be.
    line::LineWindow unwritable(options, identity, {"/nonexistent/results.sqlite", false, true});
    QTest::keyClicks(unwritable.panel(0)->field(), QStringLiteral("SN-9"));
    QTest::keyClick(unwritable.panel(0)->field(), Qt::Key_Return);
    EXPECT_TRUE(unwritable.panel(0)->verdict()->accessibleDescription().startsWith(
        QStringLiteral("NOT TESTED SN-9: The results store cannot be written")))
        << unwritable.panel(0)->verdict()->accessibleDescription().toStdString();
}

// converter-line's command line: what it refuses, and a refusal shown in a box that a quit signal
// still ends.
TEST(LineCommandTest, RefusedCommandLinesAndQuitSignals)
{
    struct Row
    {
        QStringList arguments;
        const char *display; // a display named: the refusal is also shown in a box
        int status;
        const char *said;
        const char *platform = "offscreen";
    };
    support::TempDirectory folder;
    const QString fixture = QString::fromStdString((folder / "fixture").string());
    std::ofstream(fixture.toStdString()) << "A /dev/null\nSlot B /dev/ttyUSB1\n";
    const QString longLine = QString::fromStdString((folder / "long").string());
    std::ofstream(longLine.toStdString()) << "A /dev/" << std::string(5000, 'x') << "\n";
    const QString badPattern = QString::fromStdString((folder / "pattern").string());
    std::ofstream(badPattern.toStdString()) << "fixture FX-7\npattern SN-[0-9\nA /dev/null\n";
    // Keyword lines beside the slots: each keyword takes the rest of its line.
    const std::string good = (folder / "good").string();
    std::ofstream(good)
        << "\xEF\xBB\xBF# line 3\nfixture FX 7\npattern SN-[0-9]{4}\nA /dev/null\ngolden SN-1 "
           "G-2\ncounter warn 9000 alarm 10000\nlimit round-trip 40\nlimit torque 2 Nm\n";
    const line::Fixture read = line::readFixture(good);
    EXPECT_EQ(read.id, "FX 7");
    EXPECT_EQ(read.unitPattern, "SN-[0-9]{4}");
    ASSERT_EQ(read.positions.size(), 1u);
    EXPECT_EQ(read.golden, (std::vector<std::string>{"SN-1", "G-2"}));
    EXPECT_EQ(read.counterAlarm, 10000);
    EXPECT_EQ(read.maxRoundTripMs, 40.0);
    EXPECT_EQ(read.notes.size(), 1u);
    const QString badCounter = QString::fromStdString((folder / "counter").string());
    std::ofstream(badCounter.toStdString()) << "A /dev/null\ncounter warn 10 alarm 5\n";
    QStringList nine;
    for (int slot = 1; slot <= 9; ++slot)
        nine << QStringLiteral("/dev/null%1").arg(slot);
    const Row rows[] = {
        {{QStringLiteral("--max-attempts"), QStringLiteral("0"), QStringLiteral("/dev/null")},
         nullptr,
         64,
         "--max-attempts takes a whole number from 1 to 1000"},
        {nine, nullptr, 64, "give 1 to 8 slots, not 9"},
        {{QStringLiteral("--fixture"), longLine}, nullptr, 64, "long:1: a line of more than 4096"},
        {{QStringLiteral("--fixture"), badPattern}, nullptr, 64, "pattern:2: --unit-pattern takes"},
        {{QStringLiteral("--fixture"), badCounter}, nullptr, 64, "counter:2: a counter line is"},
        {{QStringLiteral("--golden-every"), QStringLiteral("8h"), QStringLiteral("/dev/null")},
         nullptr,
         64,
         "--golden-every needs golden units"},
        {{QStringLiteral("golden=/dev/null")},
         nullptr,
         64,
         "\"golden\" is a fixture file's keyword"},
        // A display that does not answer: said, never a core dump, for a usage error too.
        {{QStringLiteral("/dev/null")}, ":987", 69, "cannot show a window on the display", "xcb"},
        {{QStringLiteral("--polls")}, ":987", 64, "--polls", "xcb"},
        {{QStringLiteral("--fixture"), fixture},
         nullptr,
         64,
         "fixture:2: a slot's line is its name and its port, one word each"},
        {{QStringLiteral("--fixture"), QStringLiteral("/nonexistent/fixture")},
         ":99",
         143,
         "/nonexistent/fixture"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.said);
        QProcess line;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(row.platform));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (row.display)
            environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(row.display));
        else
            environment.remove(QStringLiteral("DISPLAY"));
        line.setProcessEnvironment(environment);
        line.start(QStringLiteral(CONVERTER_LINE_PATH), row.arguments);
        ASSERT_TRUE(line.waitForStarted(5000));
        if (row.status > 128 && !line.waitForFinished(1000))
            ::kill(static_cast<pid_t>(line.processId()), SIGTERM);
        ASSERT_TRUE(line.waitForFinished(5000)) << "still running";
        EXPECT_EQ(line.exitCode(), row.status);
        EXPECT_TRUE(line.readAllStandardError().contains(row.said));
    }
}

// The slot says the engine's verdict, and names whatever failed, expectations included.
TEST(LineWindowTest, OneVerdictWordWithWhatFailed)
{
    enum Line { DtrCd, RtsCts, CtsRts, CdDtr, TxRx };
    struct Row
    {
        const char *name;
        std::vector<Line> failing, flapping;
        std::optional<int> expectProtocol;
        int stationLate;
        line::Shown shown;
        QString detail; // its start
        bool attempt;
    };
    using line::Shown;
    const Row rows[] = {
        {"a failing line beside a flapping one",
         {TxRx},
         {CdDtr},
         {},
         0,
         Shown::Fail,
         QStringLiteral("TX - RX RTU; intermittent: CD - DTR CPU"),
         true},
        {"a missed expectation beside a flapping line",
         {},
         {CdDtr},
         5,
         0,
         Shown::Fail,
         QStringLiteral("protocol 7, expected 5; intermittent: CD - DTR CPU"),
         true},
        {"a flapping line",
         {},
         {CdDtr},
         {},
         0,
         Shown::Intermittent,
         QStringLiteral("CD - DTR CPU"),
         true},
        {"a poll the station sent late",
         {},
         {},
         {},
         1,
         Shown::Incomplete,
         QStringLiteral("the station missed its 500 ms cadence in 1 poll"),
         false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        engine::PortSummary summary;
        engine::RunRecord &record = summary.record;
        record.polls = record.replies = record.measured = 4;
        record.lastPollEnded = 4;
        record.lastOutcome = station::PollOutcome::Measured;
        record.protocolsSeen = {7};
        for (engine::LineTally &line : record.lines)
            line.ok = 4;
        for (const Line line : row.failing)
            std::swap(record.lines[line].ok, record.lines[line].error);
        for (const Line line : row.flapping)
            record.lines[line].ok = record.lines[line].error = 2;
        record.missed[std::size_t(station::PollOutcome::StationLate)] = row.stationLate;
        summary.decision = engine::decideRun(record, {row.expectProtocol, {}, {}});
        const line::ShownVerdict shown = line::shownVerdict(summary);
        EXPECT_EQ(shown.shown, row.shown);
        EXPECT_TRUE(shown.detail.startsWith(row.detail)) << shown.detail.toStdString();
        EXPECT_EQ(shown.attempt, row.attempt);
    }
}

// Scans typed into whichever field has the focus, each followed by Enter.
TEST(LineWindowTest, ScanRulesByKeyboardAlone)
{
    support::TempDirectory folder;
    support::SimProcess healthy({}), failing({QStringLiteral("--fail"), QStringLiteral("tx-rx")});
    const std::string store = (folder / "results.sqlite").string();
    std::ofstream{store}; // an empty file, as a store's creation cut short leaves it
    line::Options options = fixture({{"A", healthy.path()}, {"B", failing.path()}});
    options.unitPattern = "SN-[0-9]+";
    options.requireRemoval = true;
    options.drop = (folder / "drop").string();
    std::filesystem::create_directory(options.drop);
    line::LineWindow window(options, identity, {store, false, true});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const auto description = [&](std::size_t slot) {
        return window.panel(slot)->verdict()->accessibleDescription().toStdString();
    };
    struct Step
    {
        QString typed;          // "wait": nothing, for a verdict
        std::size_t answers;    // the slot that takes the scan
        std::string verdict;    // the start of its verdict's description then
        std::string note;       // what its note says; none when empty
        std::size_t focusAfter; // the slot whose field has the focus then
        std::string unit = {};  // what the slot says of the unit it tests
    };
    const QString tooLong(65, QLatin1Char('x'));
    const std::string first = "Scan a unit's serial number first.";
    const Step steps[] = {
        {QStringLiteral("SN-1"), 0, "TESTING", "", 1},
        // A refused scan replaces the slot's verdict: never the last unit's beside it.
        {QStringLiteral("SN-1"), 1, "NOT TESTED SN-1: SN-1 is testing in slot A.",
         "SN-1 is testing in slot A.", 1},
        {QString(), 1, "NOT TESTED: " + first, first, 1},
        {tooLong, 1, "NOT TESTED " + std::string(65, 'X') + ": Not a serial number",
         "Not a serial number", 1},
        {QStringLiteral("SN-2O13"), 1, "NOT TESTED SN-2O13: SN-2O13 is not a serial number",
         "it must match SN-[0-9]+", 1},
        // With every slot testing, the focus stays.
        {QStringLiteral("SN-2"), 1, "TESTING", "", 1},
        {QStringLiteral("wait"), 0, "PASS", "", 1},
        {QStringLiteral("wait"), 1, "FAIL SN-2: TX - RX RTU", "", 1},
        // Enter alone after a verdict tests nothing: the last id was used up.
        {QString(), 1, "NOT TESTED: " + first, first, 1},
        // Its last attempt, said while it runs and in its verdict.
        {QStringLiteral("SN-2"), 1, "TESTING SN-2: LAST ATTEMPT", "", 0},
        // SN-1 still answers in A: another id would be its verdict under another name.
        {QStringLiteral("SN-5"), 0, "NOT TESTED SN-5: Remove SN-1 first", "Remove SN-1 first", 0},
        {QStringLiteral("SN-1"), 0, "TESTING", "", 0, "SN-1, attempt 2"},
        {QStringLiteral("SN-6"), 0, "TESTING", "Still testing SN-1", 0},
        {QStringLiteral("wait"), 1, "FAIL SN-2: to repair: attempt 2 of 2; TX - RX RTU", "", 0},
        // The refusal outlives the running unit's verdict.
        {QStringLiteral("wait"), 0, "PASS", "Still testing SN-1", 0},
        // In lower case it is the same unit, sent to repair.
        {QStringLiteral("sn-2"), 0, "NOT TESTED SN-2: SN-2: attempt 3 of 2",
         "SN-2: attempt 3 of 2: send it to repair.", 0},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.typed.toStdString() + " -> " + step.verdict);
        QWidget *focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        if (step.typed != QStringLiteral("wait")) {
            QTest::keyClicks(focus, step.typed);
            QTest::keyClick(focus, Qt::Key_Return);
        }
        line::SlotPanel *panel = window.panel(step.answers);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return description(step.answers).starts_with(step.verdict); }, 10000))
            << description(step.answers);
        const std::string note = panel->note().toStdString();
        EXPECT_TRUE(step.note.empty() ? note.empty() : note.find(step.note) != std::string::npos)
            << note;
        EXPECT_TRUE(panel->field()->text().isEmpty()) << "every scan is used once";
        EXPECT_EQ(QApplication::focusWidget(), window.panel(step.focusAfter)->field());
        EXPECT_TRUE(panel->unitShown().toStdString().starts_with(step.unit))
            << panel->unitShown().toStdString();
    }
    EXPECT_NE(window.panel(1)->unitShown().toStdString().find("SN-2, attempt 2"),
              std::string::npos);
    // Recorded off the window's thread, soon after each verdict.
    const auto recorded = [&] {
        store::ResultStore results(store, store::ResultStore::Access::Read);
        auto runs = results.db().prepare("SELECT group_concat(unit_id || ' ' || attempt || ' ' || "
                                         "verdict, ', ') FROM (SELECT * FROM runs ORDER BY "
                                         "unit_id, attempt)");
        return runs.step() ? runs.text(0) : std::string();
    };
    const std::string all = "SN-1 1 pass, SN-1 2 pass, SN-2 1 fail, SN-2 2 fail";
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorded() == all; }, 10000)) << recorded();
    // Each run's summary and JUnit report in the drop folder, whole: written after the store's
    // record, so waited for too.
    std::map<std::string, int> dropped;
    const auto drop = [&] {
        dropped.clear();
        for (const auto &file : std::filesystem::directory_iterator(options.drop))
            ++dropped[file.path().extension().string()];
        return dropped == std::map<std::string, int>{{".json", 4}, {".xml", 4}};
    };
    EXPECT_TRUE(QTest::qWaitFor(drop, 10000));
    for (const auto &file : std::filesystem::directory_iterator(options.drop)) {
        const std::string extension = file.path().extension().string();
        std::ifstream in(file.path());
        const std::string body{std::istreambuf_iterator<char>(in), {}};
        EXPECT_TRUE(
            extension == ".json"
                ? body.starts_with("{\"record\":\"summary\"") &&
                      body.find("\"runId\":\"" + file.path().stem().string()) != std::string::npos
                : body.starts_with("<?xml") && body.find("<testsuites") != std::string::npos)
            << file.path() << ": " << body.substr(0, 80);
    }
    EXPECT_EQ(dropped, (std::map<std::string, int>{{".json", 4}, {".xml", 4}}));
}

// A slot waits for a golden unit at start-up and when its connector reaches its alarm; a
// maintenance on record and a golden unit's pass let it test again.
TEST(LineWindowTest, GoldenGateAndCountersByKeyboard)
{
    support::TempDirectory folder;
    support::SimProcess healthy({});
    const std::string path = (folder / "results.sqlite").string();
    line::Options options = fixture({{"A", healthy.path()}});
    options.run.goldenUnits = {"g-1"};
    options.goldenEvery.runs = 1000;
    options.counterWarn = 2;
    options.counterAlarm = 3;
    line::LineWindow window(options, identity, {path, false, true});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    line::SlotPanel *panel = window.panel(0);
    struct Step
    {
        QString typed; // "wait": nothing, for a verdict; "maintenance": done, on record
        std::string verdict;
        std::string note;
        std::string band;
    };
    const Step steps[] = {
        {QStringLiteral("wait"), "RUN THE GOLDEN UNIT: start of the shift", "",
         "RUN THE GOLDEN UNIT"},
        {QStringLiteral("SN-1"), "NOT TESTED SN-1: Slot A: run the golden unit first",
         "run the golden unit first", "RUN THE GOLDEN UNIT"},
        {QStringLiteral("G-1"), "PASS G-1: golden unit passed: slot A verified", "", ""},
        {QStringLiteral("SN-1"), "PASS SN-1", "", "connector: 2 matings"},
        {QStringLiteral("SN-2"), "PASS SN-2", "", "RUN THE GOLDEN UNIT: its connector"},
        {QStringLiteral("G-1"), "NOT TESTED G-1: Slot A: maintenance due, 3 matings",
         "maintenance due", "RUN THE GOLDEN UNIT: its connector"},
        {QStringLiteral("maintenance"), "", "", ""},
        {QStringLiteral("SN-3"), "NOT TESTED SN-3: Slot A: run the golden unit first",
         "its connector reached", "RUN THE GOLDEN UNIT"},
        {QStringLiteral("G-1"), "PASS G-1", "", ""},
        {QStringLiteral("SN-3"), "PASS SN-3", "", ""},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.typed.toStdString() + " -> " + step.verdict);
        if (step.typed == QStringLiteral("maintenance")) {
            store::ResultStore results(path, store::ResultStore::Access::Forward);
            ASSERT_EQ(store::recordMaintenance(results, "bench-7", "A", "ada", "new connector",
                                               "2099-01-01T00:00:00.000Z", "m-1"),
                      "slot");
            continue;
        }
        if (step.typed != QStringLiteral("wait")) {
            QTest::keyClicks(panel->field(), step.typed);
            QTest::keyClick(panel->field(), Qt::Key_Return);
        }
        const auto seen = [&] {
            return panel->verdict()->accessibleDescription().toStdString().starts_with(
                       step.verdict) &&
                   panel->band().toStdString().starts_with(step.band);
        };
        EXPECT_TRUE(QTest::qWaitFor(seen, 10000))
            << step.typed.toStdString() << ": "
            << panel->verdict()->accessibleDescription().toStdString() << " | "
            << panel->band().toStdString();
        EXPECT_NE(panel->note().toStdString().find(step.note), std::string::npos)
            << panel->note().toStdString();
    }
    // The golden unit's runs are on record as such, and are none of its attempts.
    store::ResultStore results(path, store::ResultStore::Access::Read);
    auto golden = results.db().prepare(
        "SELECT count(*), count(attempt), sum(counts_as_attempt) FROM runs WHERE golden = 1");
    ASSERT_TRUE(golden.step());
    EXPECT_EQ(golden.integer(0) * 100 + golden.integer(1) * 10 + golden.integer(2), 200);
}

// The plant's database away (nothing listens where --plant points): a scan goes on with this
// PC's attempts and says so, or, with --plant-required, is refused.
TEST(LineWindowTest, PlantDatabaseAway)
{
    support::TempDirectory folder;
    support::SimProcess healthy({});
    for (const bool required : {false, true}) {
        SCOPED_TRACE(required);
        line::Options options = fixture({{"A", healthy.path()}});
        options.plantUrl = "host=" + (folder / "nowhere").string() + " dbname=plant";
        options.plantRequired = required;
        line::LineWindow window(options, identity,
                                {(folder / "results.sqlite").string(), false, true});
        scanInto(window, "SN-1",
                 required ? "NOT TESTED SN-1: The plant database did not answer within 300 ms"
                          : "PASS SN-1");
        EXPECT_EQ(window.panel(0)->note().startsWith(QStringLiteral("plant database away")),
                  !required)
            << window.panel(0)->note().toStdString();
    }
}

// Run by the plant's harness, against its real server (PLANT_URL, where SN-50 has had three
// attempts on two other bench PCs): the lockout counts the whole plant, and a run is pushed once
// recorded.
TEST(LineWindowTest, DISABLED_PlantAttemptsAcrossPCs)
{
    const char *url = std::getenv("PLANT_URL");
    ASSERT_NE(url, nullptr) << "run by plant_test.sh";
    support::TempDirectory folder;
    support::SimProcess healthy({});
    line::Options options = fixture({{"A", healthy.path()}});
    options.maxAttempts = 3;
    options.plantUrl = url;
    options.plantRequired = true;
    line::LineWindow window(options, identity, {(folder / "results.sqlite").string(), false, true});
    scanInto(window, "SN-50", "NOT TESTED SN-50: SN-50: attempt 4 of 3 across the plant");
    scanInto(window, "SN-52", "PASS SN-52");
    results::PlantConnection plant(url, std::chrono::seconds(5));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto found =
                plant.run("SELECT count(*) FROM runs WHERE unit_id = 'SN-52'", PGRES_TUPLES_OK);
            return std::string(PQgetvalue(found.get(), 0, 0)) == "1";
        },
        10000));
}
