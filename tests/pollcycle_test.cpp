#include "fakes.h"
#include "replies.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace station;
using namespace fakes;
using namespace support;

namespace {

const Field resultFields[] = {
    Field::lblProtocolResult, Field::lblVersionResult,    Field::lblDtrCdResult,
    Field::lblRtsCtsResult,   Field::lblCtsRtsResult,     Field::lblCdDtrResult,
    Field::lblTxRxResult,     Field::lblTimeTagStartData, Field::lblTimeTagEndData,
};
const auto &squares = station::tsSquareFields;

class PollCycleTest : public ::testing::Test
{
protected:
    void start()
    {
        s.station.onStartClick();
        ASSERT_TRUE(s.window.timerActive);
    }
    void tick() { s.station.onTimer(); }

    FakeStation s;
};

TEST_F(PollCycleTest, FirstTickSendsThePollAndNeverShowsNoReply)
{
    start();
    s.window.log.clear();
    tick();
    EXPECT_EQ(s.window.log,
              (std::vector<std::string>{"lblRxDataResult=", "repaint lblRxDataResult", "pause",
                                        "lblRxDataResult=", "repaint lblRxDataResult"}));
    EXPECT_EQ(s.window.pauses, std::vector{tickPause});
    ASSERT_EQ(s.port.sent.size(), 1u);
    EXPECT_EQ(s.port.sent[0], (Bytes{0x80, 0xFE, 0x80, 0xFF}));
    EXPECT_TRUE(s.station.isAwaitingReply());
}

TEST_F(PollCycleTest, UnansweredPollShowsNoReplyAndBlanksEverything)
{
    start();
    tick();
    s.arrive(healthyReply());
    ASSERT_EQ(s.window.shown(Field::lblCdDtrResult), "OK");
    tick(); // answered: no "No Reply"
    EXPECT_EQ(s.window.shown(Field::lblRxDataResult), "");
    EXPECT_EQ(s.window.shown(Field::lblVersionResult), " 7"); // results stay

    s.window.log.clear();
    tick(); // unanswered
    EXPECT_EQ(s.window.shown(Field::lblRxDataResult), "No Reply");
    for (const Field field : resultFields)
        EXPECT_EQ(s.window.shown(field), "") << fieldName(field);
    for (const Field field : squares)
        EXPECT_EQ(s.window.background(field), ColourButtonFace) << fieldName(field);
    const std::vector<std::string> expectedOrder{
        "lblRxDataResult=",        "repaint lblRxDataResult", "pause",
        "lblVersionResult=",       "lblProtocolResult=",      "lblRxDataResult=No Reply",
        "lblDtrCdResult=",         "lblRtsCtsResult=",        "lblCtsRtsResult=",
        "lblCdDtrResult=",         "lblTxRxResult=",          "lblTimeTagStartData=",
        "lblTimeTagEndData=",      "lblHardwareTs bg face",   "lblSoftwareTs bg face",
        "lblHardwareNoTs bg face", "lblSoftwareNoTs bg face", "repaint lblRxDataResult",
    };
    EXPECT_EQ(s.window.log, expectedOrder);
    EXPECT_EQ(s.port.sent.size(), 3u);
}

TEST_F(PollCycleTest, ReplyInPiecesIsShownOnceWhenItsEndMarkArrives)
{
    start();
    tick();
    const Bytes reply = healthyReply();
    s.window.log.clear();
    s.arrive(Bytes(reply.begin(), reply.begin() + 10));
    s.arrive(Bytes(reply.begin() + 10, reply.end() - 1));
    EXPECT_TRUE(s.window.log.empty()) << "pieces before the end mark are only collected";
    EXPECT_TRUE(s.station.isAwaitingReply());
    s.arrive(Bytes(reply.end() - 1, reply.end()));
    EXPECT_EQ(s.window.shown(Field::lblRxDataResult), hexText(reply));
    EXPECT_EQ(s.window.shown(Field::lblVersionResult), " 7");
    EXPECT_EQ(s.window.shown(Field::lblTimeTagStartData), "12:34:56.500   GPS");
    EXPECT_EQ(s.window.shown(Field::lblTimeTagEndData), "01:02:03.004   IRIG-B");
    EXPECT_EQ(s.window.beeps, 0);
    EXPECT_FALSE(s.station.isAwaitingReply());
    EXPECT_EQ(std::count(s.window.log.begin(), s.window.log.end(), "lblVersionResult= 7"), 1);
}

TEST_F(PollCycleTest, PieceEndingInDataFFClearsAwaitingReplySilently)
{
    start();
    tick();
    s.window.log.clear();
    s.arrive({0x80, 0x01, 0x05, 0xFF});
    EXPECT_TRUE(s.window.log.empty());
    EXPECT_FALSE(s.station.isAwaitingReply());
    tick(); // the reply never completed, yet no "No Reply"
    EXPECT_EQ(s.window.shown(Field::lblRxDataResult), "");
}

struct LengthCase
{
    std::size_t length;
    bool statusDecoded;
    bool tagsDecoded;
};

TEST_F(PollCycleTest, LengthThresholdsForStatusAndTimeTags)
{
    // The lengths as the unit's byte map fixes them, not the names the code gives them.
    const LengthCase cases[] = {{3, false, false}, {9, false, false}, {10, false, false},
                                {11, true, false}, {26, true, false}, {27, true, true},
                                {28, false, false}};
    for (const auto &c : cases) {
        FakeStation fresh;
        fresh.station.onTimer();
        fresh.arrive(replyWith({{4, 0x07}}, c.length));
        EXPECT_EQ(fresh.window.shown(Field::lblRxDataResult),
                  hexText(replyWith({{4, 0x07}}, c.length)));
        EXPECT_EQ(fresh.window.shown(Field::lblVersionResult), c.statusDecoded ? " 7" : "")
            << c.length;
        EXPECT_EQ(fresh.window.shown(Field::lblTimeTagStartData).empty(), !c.tagsDecoded)
            << c.length;
        // Longer than any reply is no answer.
        EXPECT_EQ(fresh.station.isAwaitingReply(), c.length == 28);
    }
}

// Byte streams in which a careless reading finds verdicts the unit never sent. Each row follows
// a reply whose results are still on display, and says what the window shows once the row's
// pieces have arrived: its bytes in hexadecimal, written once, and what was decoded from them.
TEST_F(PollCycleTest, ShowsOnlyWhatAWholeReplySaid)
{
    Bytes failing = healthyReply(); // "TX - RX RTU" fails
    failing[8] = 0x00;
    const auto cut = [](const Bytes &bytes, std::size_t at) {
        return std::vector<Bytes>{Bytes(bytes.begin(), bytes.begin() + static_cast<long>(at)),
                                  Bytes(bytes.begin() + static_cast<long>(at), bytes.end())};
    };
    const auto with = [](Bytes bytes, std::size_t at, Bytes inserted) {
        bytes.insert(bytes.begin() + static_cast<long>(at), inserted.begin(), inserted.end());
        return bytes;
    };
    Bytes dataFF = failing; // the start tag's milliseconds 0x00FF
    dataFF[15] = 0x00;
    dataFF[16] = 0xFF;
    Bytes data80FF = failing; // the start tag's hours 0x80 (escaped), minutes 0xFF
    data80FF[12] = 0xFF;
    data80FF = with(data80FF, 12, {0x80, 0x80});
    data80FF.erase(data80FF.begin() + 15);
    Bytes escaped26 = failing; // 26 bytes once its escape is removed: too short for the tags
    escaped26.erase(escaped26.begin() + 24);
    escaped26[10] = 0x80;
    escaped26 = with(escaped26, 10, {0x80});

    constexpr Colour face = ColourButtonFace, red = ColourRed, green = ColourGreen;
    const char *gps = "12:34:56.500   GPS";
    struct Case
    {
        const char *name;
        std::vector<Bytes> pieces;
        const char *version; // "" blanked
        const char *txRx;
        const char *startTag;
        Colour hardwareNoTs;
        int beeps;
    };
    const Case cases[] = {
        // A head after other bytes starts a reply of its own, read from its head.
        {"noise byte before the head", {with(failing, 0, {0x11})}, " 7", "Error", gps, green, 1},
        {"stray 80 before the head", {with(failing, 0, {0x80})}, " 7", "Error", gps, green, 1},
        {"tail of a reply", {Bytes(failing.end() - 11, failing.end())}, "", "", "", face, 0},
        {"end mark of the reply before",
         {with(failing, 0, {0x80, 0xFF})},
         " 7",
         "Error",
         gps,
         green,
         1},
        {"escapes leave 11 decoded bytes",
         {{0x80, 0x01, 0x80, 0x80, 0x07, 0x10, 0x08, 0x02, 0x01, 0x00, 0x80, 0xFF}},
         " 7",
         "Error",
         "",
         red,
         1},
        {"escapes leave 10 decoded bytes",
         {{0x80, 0x00, 0x85, 0x87, 0x10, 0x08, 0x80, 0x80, 0x02, 0x80, 0xFF}},
         "",
         "",
         "",
         face,
         0},
        {"80 80 FF inside, then the rest", cut(data80FF, 15), " 7", "Error", "28:55:56.500   GPS",
         green, 1},
        {"26 bytes and an escape carry no tags", {escaped26}, " 7", "Error", "", green, 1},
        {"data FF ends a piece", cut(dataFF, 17), " 7", "Error", "12:34:56.255   GPS", green, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeStation fresh;
        fresh.station.onTimer();
        Bytes earlier = healthyReply(); // version 9, "CD - DTR CPU" fails
        earlier[3] = 0x09;
        earlier[4] = 0x00;
        fresh.arrive(earlier);
        ASSERT_EQ(fresh.window.shown(Field::lblVersionResult), " 9");
        fresh.station.onTimer();
        fresh.window.log.clear();
        fresh.window.beeps = 0;

        Bytes all;
        for (const Bytes &piece : c.pieces) {
            fresh.arrive(piece);
            all.insert(all.end(), piece.begin(), piece.end());
        }
        EXPECT_EQ(std::count_if(fresh.window.log.begin(), fresh.window.log.end(),
                                [](const std::string &entry) {
                                    return entry.starts_with("lblRxDataResult=");
                                }),
                  1);
        EXPECT_EQ(fresh.window.shown(Field::lblRxDataResult), hexText(all));
        EXPECT_EQ(fresh.window.shown(Field::lblVersionResult), c.version);
        EXPECT_EQ(fresh.window.shown(Field::lblCdDtrResult), *c.version ? "OK" : "");
        EXPECT_EQ(fresh.window.shown(Field::lblTxRxResult), c.txRx);
        EXPECT_EQ(fresh.window.shown(Field::lblTimeTagStartData), c.startTag);
        EXPECT_EQ(fresh.window.background(Field::lblHardwareNoTs), c.hardwareNoTs);
        EXPECT_EQ(fresh.window.beeps, c.beeps);
        EXPECT_FALSE(fresh.station.isAwaitingReply());
    }
}

TEST_F(PollCycleTest, OneBeepPerReplyHoweverManyTestsFail)
{
    start();
    tick();
    s.arrive(replyWith({})); // all five tests fail
    EXPECT_EQ(s.window.shown(Field::lblTxRxResult), "Error");
    EXPECT_EQ(s.window.beeps, 1);
    s.arrive({}); // a notification with nothing to read decodes nothing again
    tick();
    s.arrive(healthyReply());
    EXPECT_EQ(s.window.beeps, 1);
}

TEST_F(PollCycleTest, StopThenStartWithAnUnansweredPollShowsNoReply)
{
    start();
    tick();
    s.station.onStopClick();
    EXPECT_FALSE(s.window.timerActive);
    EXPECT_EQ(s.port.closeCount, 1);
    EXPECT_TRUE(s.station.isAwaitingReply()) << "Stop keeps AwaitingReply";
    start();
    tick();
    EXPECT_EQ(s.window.shown(Field::lblRxDataResult), "No Reply");
}

TEST_F(PollCycleTest, TwoRepliesBetweenTicksAreShownAsOneLineAndEachIsDecoded)
{
    start();
    tick();
    const Bytes failing = replyWith({{4, 0x09}});
    const Bytes healthy = healthyReply();
    Bytes both = failing;
    both.insert(both.end(), healthy.begin(), healthy.end());
    s.arrive(both);
    EXPECT_EQ(s.window.shown(Field::lblRxDataResult), hexText(failing) + hexText(healthy));
    EXPECT_EQ(s.window.shown(Field::lblVersionResult), " 7"); // the last one's
    EXPECT_EQ(s.window.shown(Field::lblCdDtrResult), "OK");
    EXPECT_EQ(s.window.beeps, 1) << "the failing one beeped, though it shows no more";
}

TEST_F(PollCycleTest, AFloodBeyondTheBoundIsDroppedUntilTheNextTick)
{
    struct Case
    {
        std::size_t garbage; // bytes before a healthy reply, all in one period
        bool shown;
    };
    const std::size_t reply = healthyReply().size();
    for (const Case c : {Case{receiveBufferLimitBytes - reply, true},
                         Case{receiveBufferLimitBytes - reply + 1, false}}) {
        FakeStation fresh;
        fresh.station.onTimer();
        Bytes flood(c.garbage, 0x11);
        const Bytes healthy = healthyReply();
        flood.insert(flood.end(), healthy.begin(), healthy.end());
        // In pieces, as the line delivers them; the last piece carries the end mark.
        for (std::size_t at = 0; at < flood.size(); at += 1000)
            fresh.arrive(Bytes(flood.begin() + static_cast<std::ptrdiff_t>(at),
                               flood.begin() +
                                   static_cast<std::ptrdiff_t>(std::min(at + 1000, flood.size()))));
        EXPECT_EQ(!fresh.window.shown(Field::lblRxDataResult).empty(), c.shown) << c.garbage;
        EXPECT_LE(fresh.station.receiveBuffer().size(), receiveBufferLimitBytes);
        EXPECT_EQ(fresh.station.isAwaitingReply(), !c.shown);

        const std::string shownBefore = fresh.window.shown(Field::lblRxDataResult);
        fresh.arrive(healthyReply()); // still the same period: dropped
        EXPECT_EQ(fresh.window.shown(Field::lblRxDataResult), shownBefore);

        fresh.station.onTimer();
        EXPECT_EQ(fresh.window.shown(Field::lblRxDataResult), c.shown ? "" : "No Reply");
        fresh.arrive(healthyReply()); // the next period starts afresh
        EXPECT_EQ(fresh.window.shown(Field::lblRxDataResult), hexText(healthyReply()));
        EXPECT_EQ(fresh.window.shown(Field::lblCdDtrResult), "OK");
    }
}

class OutcomeLog : public StationListener
{
public:
    void pollEnded(PollOutcome outcome) override { outcomes.push_back(outcome); }
    std::vector<PollOutcome> outcomes;
};

// Byte streams timed around the tick: bytes that arrive while the period runs, or during the
// tick's pause, which still belongs to the period (a reply has until the next poll leaves, 500
// ms), then the tick. Each row follows a healthy poll whose "OK"s are still on display.
TEST_F(PollCycleTest, EachPollIsDecidedByWhatItsPeriodHeld)
{
    struct Step
    {
        bool tick;   // else an arrival
        Bytes bytes; // for a tick, what arrives during its pause
    };
    const auto arrive = [](Bytes bytes) {
        return Step{false, std::move(bytes)};
    };
    const auto tickWith = [](Bytes duringPause = {}) {
        return Step{true, std::move(duringPause)};
    };
    const auto part = [](const Bytes &bytes, std::size_t from, std::size_t to) {
        return Bytes(bytes.begin() + static_cast<long>(from),
                     bytes.begin() + static_cast<long>(std::min(to, bytes.size())));
    };
    const auto join = [](Bytes bytes, const Bytes &more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return bytes;
    };
    const Bytes healthy = healthyReply();
    Bytes failing = healthy;
    failing[8] = 0x00;       // TX - RX RTU
    Bytes escaped = healthy; // the start tag's source 0x80, escaped: ... 20 80 80 00 00 0C ...
    escaped[9] = 0x80;
    escaped.insert(escaped.begin() + 9, 0x80);
    const Bytes ten{0x80, 0x01, 0x05, 0x07, 0x10, 0x08, 0x02, 0x01, 0x80, 0xFF};
    const Bytes eleven{0x80, 0x01, 0x05, 0x07, 0x10, 0x08, 0x02, 0x01, 0x00, 0x80, 0xFF};
    using O = PollOutcome;
    struct Case
    {
        const char *name;
        std::vector<Step> steps;
        std::vector<PollOutcome> outcomes;
        int noReplies;
        int beeps;
        const char *txRx; // at the end
    };
    const Case cases[] = {
        {"a reply before the tick", {arrive(failing), tickWith()}, {O::Measured}, 0, 1, "Error"},
        {"a reply completed during the pause", {tickWith(failing)}, {O::Measured}, 0, 1, "Error"},
        {"a reply still arriving when the poll leaves, then the next poll's",
         {tickWith(part(failing, 0, 20)), arrive(join(part(failing, 20, 99), healthy)), tickWith()},
         {O::Late, O::Measured},
         1,
         0,
         "OK"},
        {"a late tail cut inside an escape pair is never decoded",
         {tickWith(part(escaped, 0, 10)), arrive(part(escaped, 10, 99)), tickWith()},
         {O::Late, O::Unanswered},
         2,
         0,
         ""},
        {"two replies",
         {arrive(healthy), arrive(failing), tickWith()},
         {O::TwoFrames},
         0,
         1,
         "Error"},
        {"a noise byte before a failing reply",
         {arrive(join({0x00}, failing)), tickWith()},
         {O::NoHead},
         0,
         1,
         "Error"},
        {"noise left at the tick", {arrive({0x11, 0x22}), tickWith()}, {O::NoHead}, 1, 0, ""},
        {"10 bytes are too short", {arrive(ten), tickWith()}, {O::TooShort}, 0, 0, ""},
        {"11 bytes carry the status", {arrive(eleven), tickWith()}, {O::Measured}, 0, 1, "Error"},
        {"a flood after a reply",
         {arrive(healthy), arrive(Bytes(receiveBufferLimitBytes, 0x11)), arrive(failing),
          tickWith()},
         {O::Flood},
         0,
         0,
         "OK"},
        {"nothing", {tickWith()}, {O::Unanswered}, 1, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeStation fresh;
        OutcomeLog told;
        fresh.station.setListener(&told);
        fresh.station.onTimer();
        fresh.arrive(healthy);
        fresh.station.onTimer();
        fresh.window.log.clear();
        for (const Step &step : c.steps) {
            if (!step.tick) {
                fresh.arrive(step.bytes);
                continue;
            }
            fresh.window.duringPause = [&] {
                fresh.port.pending.push_back(step.bytes);
            };
            fresh.station.onTimer();
            fresh.window.duringPause = nullptr;
        }
        ASSERT_EQ(told.outcomes.size(), c.outcomes.size() + 1);
        EXPECT_EQ(std::vector(told.outcomes.begin() + 1, told.outcomes.end()), c.outcomes);
        EXPECT_EQ(std::count(fresh.window.log.begin(), fresh.window.log.end(),
                             "lblRxDataResult=No Reply"),
                  c.noReplies);
        EXPECT_EQ(fresh.window.beeps, c.beeps);
        EXPECT_EQ(fresh.window.shown(Field::lblTxRxResult), c.txRx);
    }
}

TEST_F(PollCycleTest, ArrivalsAreHandledWhileIdle)
{
    s.arrive(healthyReply());
    EXPECT_EQ(s.window.shown(Field::lblRxDataResult), hexText(healthyReply()));
}

TEST_F(PollCycleTest, StartAndStopSwitchTheControls)
{
    s.window.comPort = "/dev/pts/7";
    start();
    EXPECT_EQ(s.port.openedNames, std::vector<std::string>{"/dev/pts/7"});
    EXPECT_FALSE(s.window.isEnabled(Control::cmdStart));
    EXPECT_FALSE(s.window.isEnabled(Control::cmbComPort));
    EXPECT_TRUE(s.window.isEnabled(Control::cmdStop));

    s.port.closeFails = true; // ignored
    s.station.onStopClick();
    EXPECT_FALSE(s.window.timerActive);
    EXPECT_TRUE(s.window.isEnabled(Control::cmdStart));
    EXPECT_TRUE(s.window.isEnabled(Control::cmbComPort));
    EXPECT_FALSE(s.window.isEnabled(Control::cmdStop));
}

TEST_F(PollCycleTest, StartFailureShowsItsTextAndLeavesTheControls)
{
    struct Case
    {
        PortError kind;
        std::string reason; // as the system words it, in the desktop's language
        const char *hint;   // a part of the tooltip chosen by the kind
        const char *holder = "";
    };
    const Case cases[] = {
        {PortError::Busy, "Device or resource busy: held by minicom, process 1234", "Close the"},
        // Services that take adapters are kept off this one, never removed.
        {PortError::Busy, "Device or resource busy: held by brltty, process 812",
         "(vendor 0403, product 6001): some braille displays use the same chip. Do not uninstall",
         "brltty"},
        {PortError::Busy, "Device or resource busy: held by ModemManager, process 640",
         "ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"",
         "ModemManager"},
        {PortError::PermissionDenied, "Permission denied", "dialout"},
        {PortError::PermissionDenied, "Keine Berechtigung", "dialout"},
        {PortError::Other, "Permission denied", ""}, // words are never matched
        {PortError::NotFound, "No such file or directory", "plugged in"},
        {PortError::NotSerialDevice, "not a serial device", "ttyUSB0"},
        {PortError::SystemConsole, "the system console", "disturb the machine"},
        {PortError::TooManyFiles, "Too many open files", "ulimit -n"},
        {PortError::BadName, "no such port: COM ports run from COM1 to COM256", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reason);
        FakeStation fresh;
        fresh.port.openFailure = c.reason;
        fresh.port.openFailureKind = c.kind;
        fresh.port.openFailureHolder = c.holder;
        fresh.window.log.clear();
        fresh.station.onStartClick();
        EXPECT_EQ(fresh.window.shown(Field::lblRxDataResult), "Error opening port");
        EXPECT_EQ(fresh.window.log, std::vector<std::string>{"lblRxDataResult=Error opening port"});
        EXPECT_FALSE(fresh.window.timerActive);
        EXPECT_TRUE(fresh.window.isEnabled(Control::cmdStart));
        EXPECT_TRUE(fresh.window.isEnabled(Control::cmbComPort));
        EXPECT_FALSE(fresh.window.isEnabled(Control::cmdStop));
        const std::string &hint = fresh.window.toolTip(Field::lblRxDataResult);
        EXPECT_TRUE(hint.starts_with(c.reason)) << hint;
        if (*c.hint)
            EXPECT_NE(hint.find(c.hint), std::string::npos) << hint;
        else
            EXPECT_EQ(hint, c.reason);

        // A later successful Start removes the stale hint.
        fresh.port.openFailure.clear();
        fresh.station.onStartClick();
        EXPECT_EQ(fresh.window.toolTip(Field::lblRxDataResult), "");
    }
}

TEST_F(PollCycleTest, NoReplySaysWhatToCheck)
{
    start();
    tick();
    tick(); // a silent unit
    EXPECT_EQ(s.window.shown(Field::lblRxDataResult), "No Reply");
    EXPECT_NE(s.window.toolTip(Field::lblRxDataResult).find("Check the cable"), std::string::npos);
    s.arrive(healthyReply());
    EXPECT_EQ(s.window.toolTip(Field::lblRxDataResult), "") << "a reply takes the hint away";

    // A port that went away and cannot be had: the system's reason and what to do.
    s.port.sendFailure = PortResult::failure(PortError::PermissionDenied, "Permission denied");
    tick();
    tick();
    EXPECT_EQ(s.window.shown(Field::lblRxDataResult), "No Reply");
    EXPECT_NE(s.window.toolTip(Field::lblRxDataResult).find("dialout"), std::string::npos);
    s.port.sendFailure = PortResult::success();
    tick(); // polling resumes: the poll before went nowhere, so no answer came to it
    EXPECT_NE(s.window.toolTip(Field::lblRxDataResult).find("Check the cable"), std::string::npos);
    s.arrive(healthyReply());
    EXPECT_EQ(s.window.toolTip(Field::lblRxDataResult), "");
}

} // namespace
