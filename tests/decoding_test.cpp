#include "fakes.h"
#include "replies.h"
#include "status.h"
#include "timetags.h"

#include <gtest/gtest.h>

using namespace station;
using namespace fakes;
using namespace support;

namespace {

ProtocolNames numberedNames()
{
    ProtocolNames names;
    for (std::size_t n = 0; n < names.size(); ++n)
        names[n] = "P" + std::to_string(n);
    return names;
}

Bytes withEscapeAt(Bytes reply, std::size_t position)
{
    reply.insert(reply.begin() + static_cast<std::ptrdiff_t>(position - 1), 0x80);
    return reply;
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
         0x81,
         "P0",
         " 1",
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

struct EscapedStatusCase
{
    int position; // where the status byte 0x80 stands, escaped on the wire
    const char *protocol;
    const char *version;
    std::array<Colour, 4> squares; // HardwareTs, SoftwareTs, HardwareNoTs, SoftwareNoTs
    // CD-DTR CPU, CTS-RTS CPU, RTS-CTS RTU, DTR-CD RTU, TX-RX RTU
    std::array<const char *, 5> verdicts;
};

// A status byte 0x80 reaches the station as 80 80. Each row is the passing reply of
// healthyReply() with one status byte replaced by 0x80, and expects exactly what that value
// means: read raw, the escape would shift every later byte onto the wrong sample.
TEST(StatusDecodingTest, StatusBytesAreReadWithEscapesRemoved)
{
    constexpr Colour face = ColourButtonFace, red = ColourRed, green = ColourGreen;
    const EscapedStatusCase cases[] = {
        {3, "P0", " 7", {face, red, red, face}, {"OK", "OK", "OK", "OK", "OK"}},
        {4, "P5", " 0", {red, face, face, red}, {"OK", "OK", "OK", "OK", "OK"}},
        {5, "P5", " 7", {face, face, green, green}, {"Error", "OK", "OK", "OK", "OK"}},
        {6, "P5", " 7", {face, face, green, green}, {"OK", "Error", "OK", "OK", "OK"}},
        {7, "P5", " 7", {face, face, green, green}, {"OK", "OK", "Error", "OK", "OK"}},
        {8, "P5", " 7", {face, face, green, green}, {"OK", "OK", "OK", "Error", "OK"}},
        {9, "P5", " 7", {face, face, green, green}, {"OK", "OK", "OK", "OK", "Error"}},
    };
    const Field verdictFields[] = {Field::lblCdDtrResult, Field::lblCtsRtsResult,
                                   Field::lblRtsCtsResult, Field::lblDtrCdResult,
                                   Field::lblTxRxResult};
    const auto &squareFields = station::tsSquareFields;
    for (const auto &c : cases) {
        Bytes reply = healthyReply();
        reply[static_cast<std::size_t>(c.position - 1)] = 0x80;
        reply = withEscapeAt(reply, static_cast<std::size_t>(c.position));
        FakeWindow window;
        const bool failed = decodeStatus(reply, numberedNames(), window);
        EXPECT_EQ(window.shown(Field::lblProtocolResult), c.protocol) << c.position;
        EXPECT_EQ(window.shown(Field::lblVersionResult), c.version) << c.position;
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(window.background(squareFields[i]), c.squares[i])
                << c.position << " " << fieldName(squareFields[i]);
        for (std::size_t i = 0; i < 5; ++i)
            EXPECT_EQ(window.shown(verdictFields[i]), c.verdicts[i]) << c.position << " " << i;
        EXPECT_EQ(failed, c.position >= 5) << c.position;
    }
}

TEST(StatusDecodingTest, StatusOutOfReachOfTheDecodedReplyIsBlanked)
{
    // Ten bytes as received, two of them escapes: the decoded reply stops short of position 9.
    const Bytes reply{0x80, 0x01, 0x80, 0x80, 0x80, 0x80, 0x10, 0x08, 0x80, 0xFF};
    FakeWindow window;
    for (const Field field : {Field::lblProtocolResult, Field::lblVersionResult,
                              Field::lblCdDtrResult, Field::lblTxRxResult})
        window.setText(field, "stale");
    window.setBackground(Field::lblSoftwareTs, ColourRed);
    EXPECT_FALSE(decodeStatus(reply, numberedNames(), window));
    for (const Field field : {Field::lblProtocolResult, Field::lblVersionResult,
                              Field::lblCdDtrResult, Field::lblTxRxResult})
        EXPECT_EQ(window.shown(field), "") << fieldName(field);
    EXPECT_EQ(window.background(Field::lblSoftwareTs), ColourButtonFace);
}

struct TagCase
{
    const char *name;
    Bytes reply;
    const char *start;
    const char *end;
};

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

TEST(TimeTagDecodingTest, OnlyTagsTheDecodedReplyReachesAreShown)
{
    // 27 bytes as received; each escape shortens the decoded reply by one.
    Bytes twoEscapes = replyWith({{10, 0x82}, {13, 1}, {14, 2}, {15, 3}, {18, 0x84}}, 20);
    twoEscapes.insert(twoEscapes.end() - 2, {0x80, 0x80, 0x80, 0x80, 4, 5, 6}); // d19, d20 = 0x80
    Bytes oneEscape = replyWith({{10, 0x82}, {13, 1}, {14, 2}, {15, 3}, {18, 0x84}, {24, 7}}, 26);
    oneEscape.insert(oneEscape.begin() + 19, {0x80, 0x80}); // d20 = 0x80, then d21 to d24 as sent
    oneEscape.erase(oneEscape.begin() + 21);
    Bytes threeEscapes = replyWith({{10, 0x82}, {13, 1}, {14, 2}, {15, 3}}, 27);
    for (std::size_t i = 18; i < 24; ++i)
        threeEscapes[i] = 0x80;
    Bytes allEscapes(27, 0x80);
    allEscapes[26] = 0xFF;
    const TagCase cases[] = {
        // Decoded to exactly 25 bytes: the end tag's last two bytes would be the end mark.
        {"decoded reply ends on the end tag", twoEscapes, "01:02:03.000   GPS", ""},
        // Decoded to 26 bytes: the end tag's last byte would be the end mark's 0x80.
        {"end tag's last byte on the end mark", oneEscape, "01:02:03.000   GPS", ""},
        {"end tag out of reach", threeEscapes, "01:02:03.000   GPS", ""},
        {"both tags out of reach", allEscapes, "", ""},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(c.reply.size(), unescapedReplyBytes) << c.name;
        FakeWindow window;
        window.setText(Field::lblTimeTagStartData, "stale");
        window.setText(Field::lblTimeTagEndData, "stale");
        decodeTimeTags(c.reply, window);
        EXPECT_EQ(window.shown(Field::lblTimeTagStartData), c.start) << c.name;
        EXPECT_EQ(window.shown(Field::lblTimeTagEndData), c.end) << c.name;
    }
}

} // namespace
