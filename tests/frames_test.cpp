#include "frames.h"

#include <gtest/gtest.h>

using namespace station;

namespace {

struct EndCase
{
    const char *name;
    Bytes buffer;
    ReplyEnd expected;
};

TEST(ReplyEndTest, ClassifiesTheBufferEnd)
{
    const EndCase cases[] = {
        {"empty", {}, ReplyEnd::NoEnd},
        {"one FF", {0xFF}, ReplyEnd::NoEnd},
        {"bare end mark is too short", {0x80, 0xFF}, ReplyEnd::NoEnd},
        {"three bytes with end mark", {0x00, 0x80, 0xFF}, ReplyEnd::Complete},
        {"three bytes, data FF", {0x00, 0x12, 0xFF}, ReplyEnd::EndByteOnly},
        {"last byte not FF", {0x80, 0x01, 0x80, 0xFE}, ReplyEnd::NoEnd},
        {"ends in 80", {0x80, 0x01, 0xFF, 0x80}, ReplyEnd::NoEnd},
        {"poll request", {0x80, 0xFE, 0x80, 0xFF}, ReplyEnd::Complete},
        {"FF FF", {0x80, 0x01, 0xFF, 0xFF}, ReplyEnd::EndByteOnly},
        {"data 80 then data FF", {0x80, 0x01, 0x80, 0x80, 0xFF}, ReplyEnd::EndByteOnly},
        {"data 80 then the end mark", {0x80, 0x01, 0x80, 0x80, 0x80, 0xFF}, ReplyEnd::Complete},
        {"two data 80 then data FF",
         {0x80, 0x01, 0x05, 0x80, 0x80, 0x80, 0x80, 0xFF},
         ReplyEnd::EndByteOnly},
        {"the head is not read for escapes", {0x80, 0x80, 0x80, 0xFF}, ReplyEnd::Complete},
    };
    for (const auto &c : cases)
        EXPECT_EQ(replyEnd(c.buffer), c.expected) << c.name;
}

TEST(ReplyEndTest, CountsTheRepliesInABuffer)
{
    const Bytes reply{0x80, 0x01, 0x05, 0x80, 0x80, 0xFF, 0x07, 0x80, 0xFF};
    Bytes two = reply;
    two.insert(two.end(), reply.begin(), reply.end());
    Bytes noiseBetween = reply;
    noiseBetween.insert(noiseBetween.end(), {0x80, 0x11});
    noiseBetween.insert(noiseBetween.end(), reply.begin(), reply.end());
    const std::pair<Bytes, std::size_t> cases[] = {
        {{}, 0},           {{0x80, 0x01, 0x05, 0x80, 0x80, 0xFF}, 0}, {reply, 1}, {two, 2},
        {noiseBetween, 2}, {{0x00, 0x80, 0xFF, 0x80, 0xFF}, 2},
    };
    for (const auto &[buffer, replies] : cases) {
        EXPECT_EQ(completeEndCount(buffer), replies) << hexText(buffer);
        // The buffer as it grew byte by byte ended complete once for each reply.
        std::size_t completeLengths = 0;
        for (std::size_t length = 1; length <= buffer.size(); ++length)
            completeLengths += replyEnd(ByteView(buffer).first(length)) == ReplyEnd::Complete;
        EXPECT_EQ(completeLengths, replies) << hexText(buffer);
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
