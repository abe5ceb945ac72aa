#include "frames.h"
#include "framesplitter.h"
#include "replies.h"

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
    struct Case
    {
        const char *name;
        const char *bytes;
        std::vector<std::size_t> frames; // the lengths of the frames completed
        bool dataEndByte;                // what is left ends in a 0xFF that is no end mark
    };
    const Case cases[] = {
        {"empty", "", {}, false},
        {"one FF", "FF", {}, false},
        {"bare end mark is too short", "80 FF", {}, false},
        {"three bytes with end mark", "00 80 FF", {3}, false},
        {"three bytes, data FF", "00 12 FF", {}, true},
        {"a head inside a frame cuts it", "80 01 80 FE", {2}, false},
        {"FF FF", "80 01 FF FF", {}, true},
        {"data 80 then data FF", "80 01 80 80 FF", {}, true},
        {"data 80 then the end mark", "80 01 80 80 80 FF", {6}, false},
        {"the head is not read for escapes", "80 80 80 FF", {4}, false},
        {"two replies with escaped data 80 FF",
         "80 01 05 80 80 FF 07 80 FF 80 01 80 FF",
         {9, 4},
         false},
        {"each frame has a head of its own", "80 01 80 FF 80 80 80 FF", {4, 4}, false},
        {"a reply cut short, then a whole one", "80 01 05 07 10 80 01 05 07 80 FF", {5, 6}, false},
        {"a stray end mark, then a reply", "80 01 05 80 FF 80 FF 80 01 80 FF", {5, 2, 4}, false},
        {"a reply cut after an escape, then a whole one",
         "80 01 05 07 80 80 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
         "00 "
         "80 FF",
         {5, 27},
         false},
        {"no reply is longer than 27 bytes",
         "80 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 80 FF",
         {26, 3},
         false},
        {"escapes make a reply no longer",
         "80 01 80 80 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 80 80 80 FF",
         {29},
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes bytes = support::hexBytes(c.bytes);
        FrameSplitter whole;
        EXPECT_EQ(lengthsOf(whole.add(bytes)), c.frames);
        EXPECT_EQ(whole.endsInDataEndByte(), c.dataEndByte);
        FrameSplitter byteByByte;
        std::vector<std::size_t> lengths;
        for (const std::uint8_t byte : bytes)
            for (const std::size_t length : lengthsOf(byteByByte.add(Bytes{byte})))
                lengths.push_back(length);
        EXPECT_EQ(lengths, c.frames);
    }
}

// A reply cut after any of its bytes, an escape's first included, then a whole one: the whole one
// is a frame of its own, never read on from the cut one.
TEST(FrameSplitterTest, AReplyCutAnywhereLeavesTheNextWhole)
{
    Bytes escaped = support::healthyReply(); // the start tag's source 0x80, escaped
    escaped[9] = 0x80;
    escaped.insert(escaped.begin() + 9, 0x80);
    for (std::size_t cut = 1; cut < escaped.size(); ++cut) {
        Bytes bytes(escaped.begin(), escaped.begin() + static_cast<std::ptrdiff_t>(cut));
        bytes.insert(bytes.end(), escaped.begin(), escaped.end());
        const std::vector<FrameSplitter::Piece> pieces = FrameSplitter().add(bytes);
        ASSERT_GE(pieces.size(), 2u) << cut;
        for (std::size_t i = 0; i + 1 < pieces.size(); ++i)
            EXPECT_TRUE(pieces[i].cut) << cut;
        EXPECT_EQ(pieces.back().bytes, escaped) << cut;
        EXPECT_FALSE(pieces.back().cut) << cut;
    }
}

// At the tick a frame under way is carried into the next period as a tail, read on as the same
// frame; bytes before it are noise of the period that ended.
TEST(FrameSplitterTest, CarriesAFrameUnderWayOverTheTick)
{
    struct Case
    {
        const char *name;
        const char *before; // the period's bytes before the tick
        const char *noise;  // what the tick calls noise
        const char *after;  // the next period's bytes
        const char *tail;   // the tail they complete: none when nothing was under way
        std::size_t ownFrames;
    };
    const Case cases[] = {
        {"a reply cut by the tick, then the next", "80 01 05", "", "07 80 FF 80 01 05 07 80 FF",
         "07 80 FF", 1},
        // The escape's data byte 80 is no escape, so the 80 FF after it ends the reply.
        {"cut between an escape and its data", "80 01 20 80", "", "80 80 FF 80 01 05 07 80 FF",
         "80 80 FF", 1},
        {"cut inside the end mark", "80 01 05 80", "", "FF 80 01 05 07 80 FF", "FF", 1},
        {"noise, then a head", "11 22 80 01", "", "05 80 FF", "05 80 FF", 0},
        {"a lone 80 is no reply under way", "80 01 05 80 FF 80", "80", "01 05 07 80 FF", "", 1},
        {"nor is a doubled end mark", "80 01 05 80 FF 80 FF", "80 FF", "80 01 05 07 80 FF", "", 1},
        {"a head inside a tail ends it", "80 01 05", "", "07 80 01 05 07 80 FF", "07", 1},
        {"noise alone", "11 22", "11 22", "80 01 05 07 80 FF", "", 1},
        {"nothing left", "80 01 05 07 80 FF", "", "80 01 05 07 80 FF", "", 1},
        {"noise that, read from its 80, completes", "11 22 33 80 80 FF", "11 22 33 80 80 FF",
         "80 01 05 07 80 FF", "", 1},
    };
    using support::hexBytes;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FrameSplitter splitter;
        (void)splitter.add(hexBytes(c.before));
        const FrameSplitter::PeriodEnd end = splitter.endPeriod();
        EXPECT_EQ(end.noise, hexBytes(c.noise));
        EXPECT_EQ(end.underWay, *c.tail != '\0');
        // A data FF in a tail is the old reply's: it ends no wait for this poll's.
        FrameSplitter dataFF = splitter;
        (void)dataFF.add(Bytes{0xFF});
        EXPECT_FALSE(dataFF.endsInDataEndByte());
        Bytes tail;
        std::size_t own = 0;
        for (const FrameSplitter::Piece &piece : splitter.add(hexBytes(c.after)))
            if (piece.tail)
                tail = piece.bytes;
            else
                ++own;
        EXPECT_EQ(tail, hexBytes(c.tail));
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
