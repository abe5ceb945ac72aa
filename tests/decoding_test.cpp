#include "fakes.h"
#include "replies.h"
#include "status.h"
#include "timetags.h"

#include <gtest/gtest.h>

using namespace station;
using namespace fakes;

namespace {

ProtocolNames numberedNames()
{
    ProtocolNames names;
    for (std::size_t n = 0; n < names.size(); ++n)
        names[n] = "P" + std::to_string(n);
    return names;
}

struct HeaderCase
{
    std::uint8_t b3;
    std::uint8_t b4;
    const char *protocol;
    const char *version;
    std::vector<std::string> squares; // the colour writes, in order
};

TEST(StatusDecodingTest, ProtocolVersionAndTsSquaresInOrder)
{
    const HeaderCase cases[] = {
        {0x85,
         0x07,
         "P5",
         " 7",
         {"lblSoftwareNoTs bg face", "lblSoftwareTs bg red", "lblHardwareNoTs bg red",
          "lblHardwareTs bg face"}},
        {0x45,
         0x07,
         "P5",
         " 7",
         {"lblHardwareTs bg face", "lblSoftwareTs bg face", "lblHardwareNoTs bg green",
          "lblSoftwareNoTs bg green"}},
        {0x3F,
         0xBF,
         "P63",
         " 63",
         {"lblSoftwareNoTs bg red", "lblSoftwareTs bg face", "lblHardwareNoTs bg face",
          "lblHardwareTs bg red"}},
        {0xC0,
         0x80,
         "P0",
         " 0",
         {"lblHardwareTs bg green", "lblSoftwareTs bg green", "lblHardwareNoTs bg face",
          "lblSoftwareNoTs bg face"}},
        {0x81,
         0x02,
         "P1",
         " 2",
         {"lblSoftwareNoTs bg face", "lblSoftwareTs bg red", "lblHardwareNoTs bg red",
          "lblHardwareTs bg face"}},
        {0x7F, 0x7F, "P63", " 63", {}}, // bit 6 is not a flag: both clear
    };
    for (const auto &c : cases) {
        FakeWindow window;
        decodeStatus(replyWith({{3, c.b3}, {4, c.b4}}), numberedNames(), window);
        EXPECT_EQ(window.shown(Field::lblProtocolResult), c.protocol);
        EXPECT_EQ(window.shown(Field::lblVersionResult), c.version);
        std::vector<std::string> squares;
        for (const auto &entry : window.log)
            if (entry.find(" bg ") != std::string::npos)
                squares.push_back(entry);
        if (!c.squares.empty())
            EXPECT_EQ(squares, c.squares) << "b3=" << int(c.b3) << " b4=" << int(c.b4);
        else
            EXPECT_EQ(squares.size(), 4u);
    }
}

struct LineCase
{
    const char *name;
    std::uint8_t b5, b6, b7, b8, b9;
    // CD-DTR CPU, CTS-RTS CPU, RTS-CTS RTU, DTR-CD RTU, TX-RX RTU
    std::array<const char *, 5> verdicts;
};

TEST(StatusDecodingTest, LineTestsWantTheirBitInExactlyOneSample)
{
    const LineCase cases[] = {
        {"all pass", 0x10, 0x08, 0x02, 0x01, 0x20, {"OK", "OK", "OK", "OK", "OK"}},
        {"CPU both set", 0x18, 0x18, 0x02, 0x01, 0x20, {"Error", "Error", "OK", "OK", "OK"}},
        {"all clear", 0x00, 0x00, 0x00, 0x00, 0x00, {"Error", "Error", "Error", "Error", "Error"}},
        {"other bits ignored", 0xD7, 0xE8, 0xDE, 0xDD, 0xFC, {"OK", "OK", "OK", "OK", "OK"}},
        {"RTS bit also in b8", 0x10, 0x08, 0x02, 0x03, 0x20, {"OK", "OK", "Error", "OK", "OK"}},
        {"RTS bit also in b9", 0x10, 0x08, 0x02, 0x01, 0x22, {"OK", "OK", "Error", "OK", "OK"}},
        {"DTR bit also in b7", 0x10, 0x08, 0x03, 0x01, 0x20, {"OK", "OK", "OK", "Error", "OK"}},
        {"DTR bit also in b9", 0x10, 0x08, 0x02, 0x01, 0x21, {"OK", "OK", "OK", "Error", "OK"}},
        {"TX bit also in b7", 0x10, 0x08, 0x22, 0x01, 0x20, {"OK", "OK", "OK", "OK", "Error"}},
        {"TX bit also in b8", 0x10, 0x08, 0x02, 0x21, 0x20, {"OK", "OK", "OK", "OK", "Error"}},
        {"CPU bits swapped", 0x08, 0x10, 0x02, 0x01, 0x20, {"Error", "Error", "OK", "OK", "OK"}},
        {"RTU samples rotated",
         0x10,
         0x08,
         0x01,
         0x20,
         0x02,
         {"OK", "OK", "Error", "Error", "Error"}},
    };
    const Field fields[] = {Field::lblCdDtrResult, Field::lblCtsRtsResult, Field::lblRtsCtsResult,
                            Field::lblDtrCdResult, Field::lblTxRxResult};
    for (const auto &c : cases) {
        FakeWindow window;
        const bool failed =
            decodeStatus(replyWith({{5, c.b5}, {6, c.b6}, {7, c.b7}, {8, c.b8}, {9, c.b9}}),
                         numberedNames(), window);
        bool anyError = false;
        for (std::size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(window.shown(fields[i]), c.verdicts[i]) << c.name << " test " << i + 1;
            anyError = anyError || std::string(c.verdicts[i]) == "Error";
        }
        EXPECT_EQ(failed, anyError) << c.name;
    }
}

TEST(StatusDecodingTest, ReadsRawPositionsEvenAfterAnEscape)
{
    // An escape at position 5 makes b5 read as 0x80 and shifts what follows by one.
    const Bytes reply{0x80, 0x01, 0x05, 0x07, 0x80, 0x80, 0x10, 0x08, 0x02, 0x01, 0x20, 0x80, 0xFF};
    FakeWindow window;
    EXPECT_TRUE(decodeStatus(reply, numberedNames(), window));
    EXPECT_EQ(window.shown(Field::lblCdDtrResult), "Error");  // b5=80 b6=80: bit 4 clear
    EXPECT_EQ(window.shown(Field::lblCtsRtsResult), "Error"); // b6=80: bit 3 clear
    EXPECT_EQ(window.shown(Field::lblRtsCtsResult), "Error"); // b7=10
    EXPECT_EQ(window.shown(Field::lblDtrCdResult), "Error");  // b8=08
    EXPECT_EQ(window.shown(Field::lblTxRxResult), "Error");   // b9=02
}

struct TagCase
{
    const char *name;
    Bytes reply;
    const char *start;
    const char *end;
};

Bytes withEscapeAt(Bytes reply, std::size_t position)
{
    reply.insert(reply.begin() + static_cast<std::ptrdiff_t>(position - 1), 0x80);
    return reply;
}

TEST(TimeTagDecodingTest, ShowsTimeAndSource)
{
    const TagCase cases[] = {
        {"healthy", healthyReply(), "12:34:56.500   GPS", "01:02:03.004   IRIG-B"},
        {"internal sources",
         replyWith({{10, 0x00}, {13, 7}, {14, 5}, {15, 9}, {17, 42}, {18, 0x83}}),
         "07:05:09.042   Internal", "00:00:00.000   Internal"},
        {"ranges not checked",
         replyWith({{10, 0x82}, {13, 25}, {14, 60}, {15, 99}, {18, 0x84}, {21, 123}}),
         "25:60:99.000   GPS", "23:00:00.000   IRIG-B"},
        {"milliseconds cut to three digits",
         replyWith({{16, 0x04}, {17, 0xD2}, {24, 0x00}, {25, 0x05}}), "00:00:00.234   Internal",
         "00:00:00.005   Internal"},
        {"high milliseconds read unsigned",
         replyWith({{16, 0xFF}, {17, 0xFF}, {24, 0x80 - 1}, {25, 0xFF}}), "00:00:00.535   Internal",
         "00:00:00.767   Internal"}, // 65535, 32767
        {"escape in the body: tags stay at decoded positions", withEscapeAt(healthyReply(), 12),
         "12:34:56.500   GPS", "01:02:03.004   IRIG-B"},
        {"escaped 80 inside a tag",
         [] {
             auto r = replyWith({{10, 0x82}, {13, 1}, {14, 2}, {15, 3}, {16, 0x03}, {18, 0x84}});
             r.insert(r.begin() + 16, {0x80, 0x80}); // d17 = 0x80
             r.erase(r.begin() + 18);
             return r;
         }(),
         "01:02:03.896   GPS", "00:00:00.000   IRIG-B"},
    };
    for (const auto &c : cases) {
        FakeWindow window;
        decodeTimeTags(c.reply, window);
        EXPECT_EQ(window.shown(Field::lblTimeTagStartData), c.start) << c.name;
        EXPECT_EQ(window.shown(Field::lblTimeTagEndData), c.end) << c.name;
    }
}

TEST(TimeTagDecodingTest, TagsTheDecodedReplyDoesNotReachAreEmpty)
{
    // 27 bytes as received, but escapes shrink the decoded reply below 25 bytes.
    Bytes reply = replyWith({{10, 0x82}, {13, 1}, {14, 2}, {15, 3}}, 27);
    for (int i = 0; i < 6; ++i)
        reply[18 + static_cast<std::size_t>(i)] = 0x80; // positions 19-24: three escaped 80s
    FakeWindow window;
    window.setText(Field::lblTimeTagStartData, "stale");
    window.setText(Field::lblTimeTagEndData, "stale");
    decodeTimeTags(reply, window);
    EXPECT_EQ(window.shown(Field::lblTimeTagStartData), "01:02:03.000   GPS");
    EXPECT_EQ(window.shown(Field::lblTimeTagEndData), "");

    // Escapes everywhere: both tags are out of reach.
    Bytes escapes(27, 0x80);
    escapes[26] = 0xFF;
    decodeTimeTags(escapes, window);
    EXPECT_EQ(window.shown(Field::lblTimeTagStartData), "");
    EXPECT_EQ(window.shown(Field::lblTimeTagEndData), "");
}

} // namespace
