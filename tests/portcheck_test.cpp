// converter-check's decisions in-process: the station's own logic on a fake port, each poll
// period closed by hand, and the run decided from what the station told.

#include "fakes.h"
#include "portcheck.h"
#include "recordingport.h"
#include "replies.h"
#include "runstore.h"
#include "runverdict.h"
#include "tempdirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

namespace {

using station::Bytes;

// `before`: what the line holds before the first poll; `after`: what comes in the period after
// the last.
engine::RunDecision decide(const std::vector<Bytes> &replies, const engine::Expectations &expected,
                           int maxMissed, bool untilReply, const Bytes &before = {},
                           const Bytes &after = {})
{
    fakes::FakePort port;
    fakes::FakeWindow timer;
    engine::PortCheck run(
        {"ttyUSB0", "", true, static_cast<int>(replies.size()), untilReply, std::nullopt}, port,
        timer);
    EXPECT_TRUE(run.load());
    EXPECT_TRUE(run.start());
    port.pending.push_back(before);
    for (const Bytes &reply : replies) {
        run.tick();
        if (run.isOver())
            break;
        port.pending.push_back(reply);
        run.dataArrived();
    }
    // The last poll's period ends, and then the one after it, which no poll opens.
    for (int tick = 0; tick < 2 && !run.isOver(); ++tick) {
        run.tick();
        port.pending.push_back(after);
        run.dataArrived();
    }
    EXPECT_TRUE(run.isOver());
    EXPECT_EQ(port.sent.size(), std::size_t(run.record().polls)) << "one poll a period";
    return decideRun(run.record(), expected, maxMissed);
}

} // namespace

TEST(PortCheckTest, RunVerdictFromTheWholeRun)
{
    const Bytes healthy = support::healthyReply();
    Bytes failing = healthy;
    failing[8] = 0x00; // TX - RX RTU: the bit missing from its sample
    Bytes twoFailing = failing;
    twoFailing[4] = 0x00; // CD - DTR CPU too
    const Bytes tooShort{0x80, 0x01, 0x05, 0x07, 0x80, 0xFF};
    const Bytes escapedAway{0x80, 0x01, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0xFF};
    Bytes noisy = healthy;
    noisy.insert(noisy.begin(), 0x42);
    const auto join = [](Bytes bytes, const Bytes &more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return bytes;
    };
    const Bytes failingThenHealthy = join(failing, healthy);
    const Bytes cut(healthy.begin(), healthy.begin() + 20); // still arriving at the tick
    const Bytes rest = join(Bytes(healthy.begin() + 20, healthy.end()), healthy);
    const Bytes flood = join(join(healthy, Bytes(station::receiveBufferLimitBytes, 0x11)), failing);
    std::vector<Bytes> lastOfTen(9, Bytes{});
    lastOfTen.push_back(healthy);
    std::vector<Bytes> fourByteFrames(9, Bytes{0x80, 0x01, 0x80, 0xFF});
    fourByteFrames.push_back(healthy);
    Bytes softwareTs = healthy;
    softwareTs[2] = 0x85; // protocol 5, software TS on
    Bytes bothTs = softwareTs;
    bothTs[3] = 0x87; // version 7, hardware TS on
    const Bytes cutHead = support::hexBytes("80 01 05 07 10 08 02 01 20");
    const Bytes shortFailing = support::hexBytes("80 01 05 07 10 08 02 01 00 80 FF");
    Bytes version9 = healthy;
    version9[3] = 0x09;
    using engine::RunVerdict;
    using engine::TsExpectation;
    struct Case
    {
        const char *name;
        std::vector<Bytes> replies; // one a poll; an empty one leaves the poll unanswered
        RunVerdict verdict;
        int status;
        std::string message;
        engine::Expectations expected = {};
        int maxMissed = 0;
        bool untilReply = false;
        Bytes before = {};
        Bytes after = {};
    };
    const Case cases[] = {
        {"passing throughout", {healthy, healthy, healthy}, RunVerdict::Pass, 0, "PASS: all five"},
        {"failing throughout", {failing, failing}, RunVerdict::Fail, 1, "FAIL: TX - RX RTU ("},
        {"a pass after a failure",
         {failing, healthy},
         RunVerdict::Intermittent,
         1,
         "INTERMITTENT: TX - RX RTU (Error in 1 of 2 replies, changed in polls 2)"},
        {"failing now and then",
         {healthy, failing, healthy, failing},
         RunVerdict::Intermittent,
         1,
         "Error in 2 of 4 replies, changed in polls 2, 3, 4)"},
        {"one line failing, another now and then",
         {failing, twoFailing},
         RunVerdict::Fail,
         1,
         "FAIL: TX - RX RTU, intermittent CD - DTR CPU (Error in 1 of 2 replies"},
        {"silent after a pass",
         {healthy, {}},
         RunVerdict::Incomplete,
         2,
         "INCOMPLETE: no measurement of the last poll (poll 2: no reply)"},
        {"silent after a pass, one miss allowed",
         {healthy, {}},
         RunVerdict::Incomplete,
         2,
         "INCOMPLETE: no measurement of the last poll (poll 2: no reply)",
         {},
         1},
        {"silent after a failure", {failing, {}}, RunVerdict::Fail, 1, "FAIL: TX - RX RTU"},
        {"silent throughout", {{}, {}}, RunVerdict::Incomplete, 2, "no decoded reply in 2 polls"},
        {"a short reply after a passing one",
         {healthy, tooShort},
         RunVerdict::Incomplete,
         2,
         "(poll 2: the reply is too short"},
        {"escapes leave no status after a passing one",
         {healthy, escapedAway},
         RunVerdict::Incomplete,
         2,
         "(poll 2: the reply is too short"},
        {"a noise byte before the reply", {noisy}, RunVerdict::Incomplete, 2, "1 missed: 1 noHead"},
        {"a failing reply beside a passing one",
         {healthy, failingThenHealthy, healthy},
         RunVerdict::Intermittent,
         1,
         "INTERMITTENT: TX - RX RTU (Error in 1 of 4 replies, changed in polls 2)"},
        {"only the last of ten answered", lastOfTen, RunVerdict::Incomplete, 2,
         "more than --max-missed 0 allows (10 polls, 1 reply, 9 missed: 9 unanswered"},
        {"only the last of ten answered, nine forgiven",
         lastOfTen,
         RunVerdict::Pass,
         0,
         "PASS",
         {},
         9},
        {"frames too short to be replies", fourByteFrames, RunVerdict::Incomplete, 2, "9 tooShort"},
        {"a late reply is never forgiven",
         {healthy, cut, rest},
         RunVerdict::Incomplete,
         2,
         "1 poll whose bytes were not all decoded (1 late)",
         {},
         5},
        {"a flood hiding a failing reply",
         {flood, healthy},
         RunVerdict::Incomplete,
         2,
         "1 flood",
         {},
         5},
        // A reply cut short, then a whole one in the same period: the cut one's head is never
        // read with the other's status.
        {"a cut reply before each failing one",
         {join(cutHead, failing), join(cutHead, failing)},
         RunVerdict::Fail,
         1,
         "FAIL: TX - RX RTU (2 polls, 2 replies, 2 missed: 2 noHead"},
        {"a cut reply before a healthy one",
         {join(cutHead, healthy)},
         RunVerdict::Incomplete,
         2,
         "1 noHead"},
        {"a reply under way before the first poll, then a short failing one",
         {shortFailing},
         RunVerdict::Fail,
         1,
         "FAIL: TX - RX RTU (1 poll, 1 reply, 0 missed",
         {},
         1,
         true,
         support::hexBytes("80 01 05 80")},
        {"a doubled end mark after a reply, then a failing one",
         {join(healthy, {0x80, 0xFF}), failing},
         RunVerdict::Intermittent,
         1,
         "Error in 1 of 2 replies, changed in polls 2) (2 polls, 2 replies, 1 missed: 1 noHead"},
        {"a unit one poll behind",
         {{}, healthy, healthy},
         RunVerdict::Incomplete,
         2,
         "INCOMPLETE: the unit answered after the last poll's period (poll 3: late)",
         {},
         1,
         false,
         {},
         healthy},
        {"a unit one poll behind, failing at the last",
         {{}, healthy, healthy},
         RunVerdict::Intermittent,
         1,
         "INTERMITTENT: TX - RX RTU (Error in 1 of 3 replies, changed in polls 3)",
         {},
         1,
         false,
         {},
         failing},
        {"the protocol expected",
         {healthy, healthy},
         RunVerdict::Pass,
         0,
         "PASS",
         {5, 7, TsExpectation::Agree}},
        {"another protocol expected",
         {healthy},
         RunVerdict::Fail,
         1,
         "FAIL: protocol (expected 6, seen 5)",
         {6, {}, {}}},
        {"another version expected",
         {healthy},
         RunVerdict::Fail,
         1,
         "FAIL: version (expected 8, seen 7)",
         {{}, 8, {}}},
        {"TS modes that disagree",
         {softwareTs, healthy},
         RunVerdict::Fail,
         1,
         "FAIL: TS modes (expected agree, seen none and software)",
         {{}, {}, TsExpectation::Agree}},
        {"both TS modes on agree",
         {bothTs},
         RunVerdict::Pass,
         0,
         "PASS",
         {{}, {}, TsExpectation::Agree}},
        {"a version expected in every reply, not only the last",
         {healthy, version9},
         RunVerdict::Fail,
         1,
         "FAIL: version (expected 9, seen 7 and 9)",
         {{}, 9, {}}},
        {"--until-reply stops at the first measured poll, not at a short reply",
         {tooShort, healthy, {}, {}},
         RunVerdict::Pass,
         0,
         "(2 polls, 1 reply, 1 missed: 1 tooShort",
         {},
         1,
         true},
        {"software TS expected",
         {softwareTs},
         RunVerdict::Pass,
         0,
         "PASS",
         {{}, {}, TsExpectation::Software}},
        {"an expectation without a decoded reply decides nothing",
         {tooShort},
         RunVerdict::Incomplete,
         2,
         "no decoded reply in 1 poll",
         {6, {}, {}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const engine::RunDecision decision =
            decide(c.replies, c.expected, c.maxMissed, c.untilReply, c.before, c.after);
        EXPECT_EQ(decision.verdict, c.verdict);
        EXPECT_EQ(decision.exitStatus, c.status);
        EXPECT_NE(decision.message.find(c.message), std::string::npos) << decision.message;
    }
}

// Every poll's period is kept as it came, and a poll the station itself sent off its cadence is
// no measurement of the unit.
TEST(PortCheckTest, EveryPollOnRecordAndOnTime)
{
    using station::PollOutcome;
    const Bytes healthy = support::healthyReply();
    Bytes failing = healthy;
    failing[8] = 0x00;
    fakes::FakePort port;
    fakes::FakeWindow timer;
    engine::PortCheck run({"ttyUSB0", "", true, 4, false, std::nullopt}, port, timer);
    ASSERT_TRUE(run.load() && run.start());
    const Bytes cut(failing.begin(), failing.begin() + 20);
    const Bytes flood(2 * station::receiveBufferLimitBytes, 0x11);
    for (const Bytes &period : {cut, flood, failing, Bytes{0x80, 0x01, 0x05}}) {
        run.tick();
        port.pending.push_back(period);
        run.dataArrived();
    }
    run.stop(); // a signal, in the fourth poll's period
    const engine::RunRecord &record = run.record();
    ASSERT_EQ(record.pollLog.size(), 4u);
    EXPECT_EQ(record.pollLog[0].bytes, cut);
    EXPECT_EQ(record.pollLog[0].outcome, PollOutcome::Late);
    EXPECT_EQ(record.pollLog[1].bytes.size(), station::receiveBufferLimitBytes);
    EXPECT_EQ(record.pollLog[1].outcome, PollOutcome::Flood);
    EXPECT_EQ(record.pollLog[2].outcome, PollOutcome::Measured);
    const engine::PortSummary summary{
        "run", "ttyUSB0", "SN-1", {}, {}, record, engine::interruptedRun(record, {}, 0, SIGTERM),
        "B"};
    EXPECT_EQ(summary.decision.verdict, engine::RunVerdict::Interrupted);
    EXPECT_EQ(summary.decision.exitStatus, 143);
    EXPECT_TRUE(summary.decision.message.starts_with(
        "INTERRUPTED by SIGTERM, so no verdict; until then: FAIL: TX - RX RTU"))
        << summary.decision.message;
    const store::StoredRun stored = engine::storedRun(summary, {});
    EXPECT_EQ(stored.pollLog.back().outcome, "interrupted");
    EXPECT_EQ(stored.pollLog.back().bytes, (Bytes{0x80, 0x01, 0x05}));
    EXPECT_EQ(stored.missed, (std::array<int, 7>{0, 1, 0, 0, 0, 1, 0}));
    EXPECT_FALSE(stored.polled);
    EXPECT_EQ(stored.slot, "B");

    // Two ticks at once: a period of no time at all.
    fakes::FakePort line;
    engine::PortCheck hurried({"ttyUSB0", "", true, 2, false}, line, timer);
    ASSERT_TRUE(hurried.load() && hurried.start());
    for (int tick = 0; tick < 4; ++tick) {
        hurried.tick();
        line.pending.push_back(healthy);
        hurried.dataArrived();
    }
    ASSERT_TRUE(hurried.isOver());
    EXPECT_EQ(hurried.record().missed[std::size_t(PollOutcome::StationLate)], 2);
    const engine::RunDecision decision = engine::decideRun(hurried.record(), {});
    EXPECT_NE(decision.message.find("the station missed its 500 ms cadence in 2 polls"),
              std::string::npos)
        << decision.message;
    EXPECT_FALSE(engine::isAttempt(hurried.record(), decision.verdict));
    const engine::PortSummary hurriedSummary{"run", "ttyUSB0",        "",       {},
                                             {},    hurried.record(), decision, {}};
    EXPECT_NE(engine::summaryJson(hurriedSummary, {}).find("\"replies\":3,\"measured\":0,"),
              std::string::npos)
        << "every decoded reply, measured or not";

    // An expectation that no decoded reply could meet is neither met nor missed.
    const engine::RunRecord silent;
    const std::string junit = engine::junitXml(
        {{"run", "ttyUSB0", "", {}, {}, silent, engine::decideRun(silent, {6, {}, {}}), {}}}, {});
    EXPECT_NE(junit.find("<skipped message=\"no decoded reply\"/>"), std::string::npos) << junit;
    EXPECT_EQ(junit.find("<failure"), std::string::npos) << junit;
}

// A reply without time tags after one with them: the window still shows the earlier tags, and the
// report must not give them as this reply's.
TEST(PortCheckTest, FieldsAReplyDidNotWriteAreNotItsOwn)
{
    fakes::FakePort port;
    fakes::FakeWindow timer;
    engine::PortCheck run({"ttyUSB0", "", true, 3, false}, port, timer);
    std::vector<engine::Reply> reported;
    run.onReply = [&](const engine::Reply &reply) {
        reported.push_back(reply);
    };
    ASSERT_TRUE(run.load() && run.start());
    for (const Bytes &reply :
         {support::healthyReply(),
          Bytes{0x80, 0x01, 0x05, 0x07, 0x10, 0x08, 0x02, 0x01, 0x20, 0x00, 0x80, 0xFF},
          Bytes{0x80, 0x01, 0x05, 0x07, 0x80, 0xFF}}) {
        run.tick();
        port.pending.push_back(reply);
        run.dataArrived();
    }
    run.tick();
    ASSERT_EQ(reported.size(), 3u);
    EXPECT_NE(engine::textReport(reported[2], {"ttyUSB0", "", "", ""})
                  .find("Verdict: none (the reply is too short to carry the line tests)"),
              std::string::npos);
    const std::string first = engine::textReport(reported[0], {"ttyUSB0", "", "", ""});
    const std::string second = engine::textReport(reported[1], {"ttyUSB0", "", "", ""});
    EXPECT_NE(first.find("Test Start: 12:34:56.500   GPS\n"), std::string::npos) << first;
    EXPECT_NE(second.find("Test Start: (not in this reply)\nTest End: (not in this reply)\n"),
              std::string::npos)
        << second;
    EXPECT_NE(second.find("TX - RX RTU: OK\n"), std::string::npos) << second;
    EXPECT_NE(engine::jsonReport(reported[1], {"ttyUSB0", "", "", ""})
                  .find("\"lblTimeTagStartData\":null"),
              std::string::npos);
}

// A flooding unit's capture stops short of what a replay reads, says so, and still replays.
TEST(RecordingPortTest, StopsShortOfWhatAReplayReads)
{
    const support::TempDirectory folder;
    fakes::FakePort port;
    constexpr std::uint64_t limit = 2000;
    engine::RecordingPort recorder(port, limit);
    std::optional<cli::EvidenceFile> file;
    ASSERT_FALSE(cli::EvidenceFile::create((folder / "unit.capture").string(), file));
    recorder.attach(*file);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(recorder.SendData(station::PollRequest).isOk());
        port.pending.push_back(support::healthyReply());
        Bytes received;
        ASSERT_TRUE(recorder.ReadData(received).isOk());
    }
    ASSERT_TRUE(recorder.stoppedAt());
    ASSERT_TRUE(recorder.finish());
    std::ifstream in(folder / "unit.capture");
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_LE(text.size(), limit);
    EXPECT_NE(text.find("\n# recording stopped at "), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with(std::string(capture::captureClosingLine) + "\n"));
    EXPECT_GT(capture::parseRecording(text).size(), 10u);
}
