// The station with the real serial adapter against the simulated unit on a pty; only the window
// is a fake.

#include "fakes.h"
#include "serialportcontroller.h"
#include "simprocess.h"
#include "tempdirectory.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <thread>

using namespace station;

namespace {

class LiveCycle
{
public:
    explicit LiveCycle(const QStringList &simArguments) : sim(simArguments)
    {
        QObject::connect(&adapter, &port::SerialPortController::dataArrived,
                         [this] { station.onDataArrived(); });
        station.setProtocolFilePath("/nonexistent/Protocol.txt");
        window.answer = MessageButton::Ok;
        station.onLoad();
        window.comPort = sim.path();
        station.onStartClick();
    }

    // One poll: the tick, then up to `waitMs` for the reply to be shown.
    void poll(int waitMs = 1000)
    {
        station.onTimer();
        (void)QTest::qWaitFor(
            [this] {
                const std::string &shown = window.shown(Field::lblRxDataResult);
                return !shown.empty() && shown != noReplyText;
            },
            waitMs);
        QTest::qWait(20); // let the remains of a reply in pieces arrive
    }

    support::SimProcess sim;
    fakes::FakeWindow window;
    port::SerialPortController adapter;
    StationWindow station{window, window, window, window, adapter};
};

const Field verdictFields[] = {Field::lblCdDtrResult, Field::lblCtsRtsResult,
                               Field::lblRtsCtsResult, Field::lblDtrCdResult, Field::lblTxRxResult};

struct LiveCase
{
    const char *name;
    QStringList arguments;
    std::array<const char *, 5> verdicts;
    const char *version;
    std::array<Colour, 4> squares; // HardwareTs, SoftwareTs, HardwareNoTs, SoftwareNoTs
    int beeps;
    std::size_t replyBytes = unescapedReplyBytes;
};

TEST(LivePollCycleTest, DecodesTheSimulatedUnit)
{
    const LiveCase cases[] = {
        {"healthy",
         {"--unit-version", "7", "--start-time", "12:34:56.500", "--end-time", "12:34:57.004"},
         {"OK", "OK", "OK", "OK", "OK"},
         " 7",
         {ColourButtonFace, ColourButtonFace, ColourGreen, ColourGreen},
         0},
        {"failing",
         {"--fail", "rts-cts", "--fail", "cd-dtr", "--software-ts", "--start-time", "12:34:56.500",
          "--end-time", "12:34:57.004"},
         {"Error", "OK", "Error", "OK", "OK"},
         " 1",
         {ColourButtonFace, ColourRed, ColourRed, ColourButtonFace},
         1},
        {"in pieces",
         {"--pieces", "6", "--gap-ms", "15", "--hardware-ts", "--software-ts", "--start-time",
          "12:34:56.500", "--end-time", "12:34:57.004"},
         {"OK", "OK", "OK", "OK", "OK"},
         " 1",
         {ColourGreen, ColourGreen, ColourButtonFace, ColourButtonFace},
         0},
        // Protocol 0 with software TS on is the byte 0x80, escaped on the wire as 80 80.
        {"escaped status byte",
         {"--protocol", "0", "--software-ts", "--unit-version", "17", "--fail", "cd-dtr",
          "--start-time", "12:34:56.500", "--end-time", "12:34:57.004"},
         {"Error", "OK", "OK", "OK", "OK"},
         " 17",
         {ColourButtonFace, ColourRed, ColourRed, ColourButtonFace},
         1,
         28},
    };
    for (const auto &c : cases) {
        LiveCycle live(c.arguments);
        ASSERT_TRUE(live.window.timerActive) << c.name << ": " << live.sim.path();
        live.window.log.clear();
        live.poll();
        EXPECT_EQ(live.window.shown(Field::lblRxDataResult).size(), c.replyBytes * 3) << c.name;
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_EQ(live.window.shown(verdictFields[i]), c.verdicts[i]) << c.name << " " << i;
        EXPECT_EQ(live.window.shown(Field::lblVersionResult), c.version) << c.name;
        EXPECT_EQ(live.window.shown(Field::lblProtocolResult), "Unknown Protocol") << c.name;
        EXPECT_EQ(live.window.background(Field::lblHardwareTs), c.squares[0]) << c.name;
        EXPECT_EQ(live.window.background(Field::lblSoftwareTs), c.squares[1]) << c.name;
        EXPECT_EQ(live.window.background(Field::lblHardwareNoTs), c.squares[2]) << c.name;
        EXPECT_EQ(live.window.background(Field::lblSoftwareNoTs), c.squares[3]) << c.name;
        EXPECT_EQ(live.window.shown(Field::lblTimeTagStartData), "12:34:56.500   GPS") << c.name;
        EXPECT_EQ(live.window.shown(Field::lblTimeTagEndData), "12:34:57.004   IRIG-B") << c.name;
        EXPECT_EQ(live.window.beeps, c.beeps) << c.name;
        EXPECT_EQ(std::count(live.window.log.begin(), live.window.log.end(),
                             std::string("lblVersionResult=") + c.version),
                  1)
            << c.name << ": decoded exactly once";
    }
}

TEST(LivePollCycleTest, DroppedReplyShowsNoReplyThenRecovers)
{
    LiveCycle live({"--drop-every", "2"});
    live.poll();
    EXPECT_EQ(live.window.shown(Field::lblCdDtrResult), "OK");
    const std::regex clock(R"(\d\d:\d\d:\d\d\.\d\d\d   GPS)");
    EXPECT_TRUE(std::regex_match(live.window.shown(Field::lblTimeTagStartData), clock))
        << live.window.shown(Field::lblTimeTagStartData);
    live.poll(300); // dropped
    EXPECT_EQ(live.window.shown(Field::lblCdDtrResult), "OK") << "results stay until next tick";
    live.poll(); // the tick finds the poll unanswered, then polls again and gets a reply
    EXPECT_EQ(live.window.shown(Field::lblCdDtrResult), "OK");
    EXPECT_NE(std::find(live.window.log.begin(), live.window.log.end(), "lblRxDataResult=No Reply"),
              live.window.log.end());
}

TEST(LivePollCycleTest, UnpluggedUnitShowsNoReplyAndComesBackOnItsOwn)
{
    const support::TempDirectory directory;
    const auto link = directory / "unit";
    LiveCycle live({"--link", QString::fromStdString(link.string()), "--hangup-after", "2",
                    "--return-after", "1"});
    live.poll();
    EXPECT_EQ(live.window.shown(Field::lblTxRxResult), "OK");
    live.poll(300); // the unit hangs up on this one

    int noReplies = 0;
    bool recovered = false;
    std::string seen; // what each poll showed, for the failure message
    std::string whyNoReply;
    for (int tick = 0; tick < 12 && !recovered; ++tick) {
        live.poll(400);
        const std::string shown = live.window.shown(Field::lblRxDataResult);
        noReplies += shown == "No Reply";
        if (shown == "No Reply")
            whyNoReply = live.window.toolTip(Field::lblRxDataResult);
        recovered = shown.size() >= unescapedReplyBytes * 3 && shown.ends_with("80 FF ");
        seen += "\n  poll " + std::to_string(tick + 3) + ": \"" + shown + "\" on " +
                live.adapter.devicePath();
    }
    SCOPED_TRACE("after the hang-up:" + seen);
    EXPECT_GE(noReplies, 1);
    EXPECT_NE(whyNoReply.find("plugged in"), std::string::npos) << whyNoReply;
    EXPECT_TRUE(recovered) << "replies are decoded again without operator action";
    EXPECT_EQ(live.window.toolTip(Field::lblRxDataResult), "");
    EXPECT_EQ(live.window.shown(Field::lblTxRxResult), "OK");
    EXPECT_EQ(live.adapter.lossCount(), 1);

    live.station.onStopClick();
    EXPECT_EQ(live.adapter.state(), port::SerialPortController::State::Closed);
}

// Counts what the operator would see, and pauses for real, as the window does.
class CountingWindow : public fakes::FakeWindow
{
public:
    void setText(Field field, std::string_view text) override
    {
        // A whole reply, escapes or not.
        if (field == Field::lblRxDataResult && text.size() >= unescapedReplyBytes * 3 &&
            text.ends_with("80 FF "))
            ++decodes;
        if (field == Field::lblRxDataResult && text == noReplyText)
            ++noReplies;
        FakeWindow::setText(field, text);
    }
    void pause(std::chrono::milliseconds length) override { std::this_thread::sleep_for(length); }

    int decodes = 0;
    int noReplies = 0;
};

int loggedReplies(const std::filesystem::path &log)
{
    std::ifstream in(log);
    std::string kind;
    std::string rest;
    int replies = 0;
    while (in >> kind && std::getline(in, rest))
        replies += kind == "reply";
    return replies;
}

// The real timer, the real pause and the real line: each reply is shown once and no poll goes
// unanswered. Replies at other moments of the tick are covered with fakes, where the moment can
// be chosen exactly; here the unit answers at once, which leaves a margin of the whole period.
TEST(LivePollCycleTest, EveryReplyIsShownOnceOnTheRealLine)
{
    const support::TempDirectory directory;
    support::SimProcess sim({"--log", QString::fromStdString((directory / "sim.log").string())});
    CountingWindow window;
    window.recording = false;
    port::SerialPortController adapter;
    StationWindow station(window, window, window, window, adapter);
    QObject::connect(&adapter, &port::SerialPortController::dataArrived,
                     [&] { station.onDataArrived(); });
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(pollPeriod);
    QObject::connect(&timer, &QTimer::timeout, [&] { station.onTimer(); });
    window.comPort = sim.path();
    ASSERT_TRUE(adapter.SetSpeed(lineSpeedBitsPerSecond).isOk()); // as start-up sets it
    station.onStartClick();
    ASSERT_TRUE(window.timerActive);
    timer.start();
    QTest::qWait(6 * 500 + 100);
    timer.stop();
    QTest::qWait(300); // the last reply still arrives and is handled

    // Still running, the unit writes its log under the name it takes when complete.
    const int replies = loggedReplies(directory / "sim.log.part");
    EXPECT_GE(replies, 5);
    EXPECT_EQ(window.decodes, replies) << "every reply shown exactly once";
    EXPECT_EQ(window.noReplies, 0);
}

} // namespace
