#include "frames.h"
#include "framesplitter.h"

#include <gtest/gtest.h>

using namespace station;

namespace {

std::vector<std::size_t> lengthsOf(const std::vector<FrameSplitter::Piece> &pieces)
{
    std::vector<std::size_t> lengths;
    for (const auto &piece : pieces)
        lengths.push_back(piece.bytes.size());
    return lengths;
}

// Frames end at the first end mark that completes them, however the bytes are cut into arrivals.
TEST(FrameSplitterTest, CutsFramesAtTheirEndMarks)
{
    const Bytes reply{0x80, 0x01, 0x05, 0x80, 0x80, 0xFF, 0x07, 0x80, 0xFF};
    Bytes two = reply;
    two.insert(two.end(), reply.begin(), reply.end());
    struct Case
    {
        const char *name;
        Bytes bytes;
        std::vector<std::size_t> frames; // the lengths of the frames completed
        bool dataEndByte;                // what is left ends in a 0xFF that is no end mark
    };
    const Case cases[] = {
        {"empty", {}, {}, false},
        {"one FF", {0xFF}, {}, false},
        {"bare end mark is too short", {0x80, 0xFF}, {}, false},
        {"three bytes with end mark", {0x00, 0x80, 0xFF}, {3}, false},
        {"three bytes, data FF", {0x00, 0x12, 0xFF}, {}, true},
        {"last byte not FF", {0x80, 0x01, 0x80, 0xFE}, {}, false},
        {"FF FF", {0x80, 0x01, 0xFF, 0xFF}, {}, true},
        {"data 80 then data FF", {0x80, 0x01, 0x80, 0x80, 0xFF}, {}, true},
        {"data 80 then the end mark", {0x80, 0x01, 0x80, 0x80, 0x80, 0xFF}, {6}, false},
        {"the head is not read for escapes", {0x80, 0x80, 0x80, 0xFF}, {4}, false},
        {"escaped data 80 FF inside a reply", reply, {9}, false},
        {"two replies", two, {9, 9}, false},
        {"each frame has a head of its own",
         {0x80, 0x01, 0x80, 0xFF, 0x80, 0x80, 0x80, 0xFF},
         {4, 4},
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FrameSplitter whole;
        EXPECT_EQ(lengthsOf(whole.add(c.bytes)), c.frames);
        EXPECT_EQ(whole.endsInDataEndByte(), c.dataEndByte);
        FrameSplitter byteByByte;
        std::vector<std::size_t> lengths;
        for (const std::uint8_t byte : c.bytes)
            for (const std::size_t length : lengthsOf(byteByByte.add(Bytes{byte})))
                lengths.push_back(length);
        EXPECT_EQ(lengths, c.frames);
    }
}

// At the tick a frame under way is carried into the next period as a tail, read on as the same
// frame; bytes before it are noise of the period that ended.
TEST(FrameSplitterTest, CarriesAFrameUnderWayOverTheTick)
{
    struct Case
    {
        const char *name;
        Bytes before; // the period's bytes before the tick
        Bytes noise;  // what the tick calls noise
        bool underWay;
        Bytes after; // the next period's bytes
        Bytes tail;  // the tail they complete, if any
        std::vector<std::size_t> ownFrames;
    };
    const Bytes reply{0x80, 0x01, 0x05, 0x07, 0x80, 0xFF};
    const auto then = [](Bytes bytes, const Bytes &more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return bytes;
    };
    const Case cases[] = {
        {"a reply cut by the tick, then the next",
         {0x80, 0x01, 0x05},
         {},
         true,
         then({0x07, 0x80, 0xFF}, reply),
         {0x07, 0x80, 0xFF},
         {6}},
        // The escape's data byte 80 is no escape, so the 80 FF after it ends the reply.
        {"cut between an escape and its data",
         {0x80, 0x01, 0x20, 0x80},
         {},
         true,
         then({0x80, 0x80, 0xFF}, reply),
         {0x80, 0x80, 0xFF},
         {6}},
        {"cut inside the end mark",
         {0x80, 0x01, 0x05, 0x80},
         {},
         true,
         then({0xFF}, reply),
         {0xFF},
         {6}},
        {"noise, then a head",
         {0x11, 0x22, 0x80, 0x01},
         {0x11, 0x22},
         true,
         {0x05, 0x80, 0xFF},
         {0x05, 0x80, 0xFF},
         {}},
        {"noise alone", {0x11, 0x22}, {0x11, 0x22}, false, reply, {}, {6}},
        {"nothing left", reply, {}, false, reply, {}, {6}},
        {"noise that, read from its 80, completes",
         {0x11, 0x22, 0x33, 0x80, 0x80, 0xFF},
         {0x11, 0x22, 0x33, 0x80, 0x80, 0xFF},
         false,
         reply,
         {},
         {6}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FrameSplitter splitter;
        (void)splitter.add(c.before);
        const FrameSplitter::PeriodEnd end = splitter.endPeriod();
        EXPECT_EQ(end.noise, c.noise);
        EXPECT_EQ(end.underWay, c.underWay);
        // A data FF in a tail is the old reply's: it ends no wait for this poll's.
        FrameSplitter dataFF = splitter;
        (void)dataFF.add(Bytes{0xFF});
        EXPECT_FALSE(dataFF.endsInDataEndByte());
        Bytes tail;
        std::vector<std::size_t> own;
        for (const FrameSplitter::Piece &piece : splitter.add(c.after))
            if (piece.tail)
                tail = piece.bytes;
            else
                own.push_back(piece.bytes.size());
        EXPECT_EQ(tail, c.tail);
        EXPECT_EQ(own, c.ownFrames);
    }
}

struct DecodeCase
{
    const char *name;
    Bytes reply;
    Bytes expected;
};

TEST(DecodeEscapesTest, RemovesEscapesAsTheUnitSendsThem)
{
    const DecodeCase cases[] = {
        {"empty", {}, {0x80, 0x01}},
        {"one byte", {0x42}, {0x80, 0x01, 0x42}},
        {"two bytes", {0x80, 0xFF}, {0x80, 0x01, 0x80, 0xFF}},
        {"three bytes: loop does not run", {0x80, 0x33, 0xFF}, {0x80, 0x01, 0x33, 0xFF}},
        {"four bytes: loop runs from 3 to 2", {0x80, 0x33, 0x80, 0xFF}, {0x80, 0x01, 0x80, 0xFF}},
        {"head replaced", {0x11, 0x22, 0x05, 0x80, 0xFF}, {0x80, 0x01, 0x05, 0x80, 0xFF}},
        {"80 80 gives 80",
         {0x80, 0x01, 0x80, 0x80, 0x07, 0x80, 0xFF},
         {0x80, 0x01, 0x80, 0x07, 0x80, 0xFF}},
        {"80 41 gives 41",
         {0x80, 0x01, 0x80, 0x41, 0x07, 0x80, 0xFF},
         {0x80, 0x01, 0x41, 0x07, 0x80, 0xFF}},
        {"escape at L-2 takes the end mark's 80",
         {0x80, 0x01, 0x05, 0x80, 0x80, 0xFF},
         {0x80, 0x01, 0x05, 0x80, 0x80, 0xFF}},
        {"two escapes",
         {0x80, 0x01, 0x80, 0x80, 0x09, 0x80, 0xFF, 0x80, 0xFF},
         {0x80, 0x01, 0x80, 0x09, 0xFF, 0x80, 0xFF}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DecodeEscapes(c.reply), c.expected) << c.name;
}

TEST(DecodeEscapesTest, FullReplyWithoutEscapesOnlyChangesByteTwo)
{
    Bytes reply{0x80, 0x7E};
    for (int i = 3; i <= 25; ++i)
        reply.push_back(static_cast<std::uint8_t>(i));
    reply.push_back(0x80);
    reply.push_back(0xFF);
    ASSERT_EQ(reply.size(), unescapedReplyBytes);

    Bytes expected = reply;
    expected[1] = 0x01;
    EXPECT_EQ(DecodeEscapes(reply), expected);
}

TEST(HexTextTest, TwoUpperCaseDigitsAndABlankPerByte)
{
    EXPECT_EQ(hexText(Bytes{0x80, 0x0A, 0x80, 0xFF}), "80 0A 80 FF ");
    EXPECT_EQ(hexText(Bytes{0x00, 0x09, 0xAB, 0x10}), "00 09 AB 10 ");
    EXPECT_EQ(hexText(Bytes{}), "");
}

} // namespace
