#include "fakes.h"
#include "replies.h"
#include "tempdirectory.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace station;
using namespace fakes;
using namespace support;

namespace {

class StartupTest : public ::testing::Test
{
protected:
    support::TempDirectory m_directory;
};

struct StartupCase
{
    const char *name;
    bool speedRefused;
    const char *file; // nullptr: no file
    bool fails;
    // Entry 1 and entry 2 of the table afterwards.
    const char *entry1;
    const char *entry2;
    const char *detail = ""; // how the message's detail ends: where and why
};

TEST_F(StartupTest, FailuresAskOnceAndKeepWhatWasRead)
{
    const StartupCase cases[] = {
        {"good file", false, "1,One\n2,\"Two, too\"\n", false, "One", "Two, too"},
        {"speed refused", true, "1,One\n", true, "", "", "line speed of 19200 bit/s."},
        {"file missing", false, nullptr, true, "Unknown Protocol", "Unknown Protocol",
         "/Protocol.txt: No such file or directory"},
        {"number 256", false, "1,One\n256,Big\n2,Two\n", true, "One", "Unknown Protocol",
         "/Protocol.txt: malformed at line 2"},
        {"malformed number", false, "\n1,One\n2a,Two\n", true, "One", "Unknown Protocol",
         "/Protocol.txt: malformed at line 3"},
    };
    for (const MessageButton answer : {MessageButton::Ok, MessageButton::Cancel}) {
        for (const auto &c : cases) {
            const auto path = m_directory / "Protocol.txt";
            std::filesystem::remove(path);
            if (c.file)
                std::ofstream(path) << c.file;
            FakeStation s;
            s.port.speedRefused = c.speedRefused;
            s.window.answer = answer;
            s.station.setProtocolFilePath(path);
            s.station.onLoad();

            EXPECT_EQ(s.port.speed, 19200) << c.name;
            EXPECT_EQ(s.window.messages.size(), c.fails ? 1u : 0u) << c.name;
            if (c.fails) {
                EXPECT_EQ(s.window.messages[0], "Error loading protocol description file");
                EXPECT_TRUE(s.window.details[0].ends_with(c.detail)) << s.window.details[0];
                EXPECT_TRUE(c.speedRefused || s.window.details[0].starts_with(
                                                  m_directory.path().string() + "/Protocol.txt"))
                    << "the full path";
            }
            EXPECT_EQ(s.window.ended, c.fails && answer == MessageButton::Cancel) << c.name;
            EXPECT_EQ(s.station.protocolNames()[1], c.entry1) << c.name;
            EXPECT_EQ(s.station.protocolNames()[2], c.entry2) << c.name;
            EXPECT_EQ(s.station.protocolNames()[63], c.speedRefused ? "" : "Unknown Protocol")
                << c.name;
        }
    }
}

TEST_F(StartupTest, ProtocolNameShownForTheReplysNumber)
{
    const auto path = m_directory / "Protocol.txt";
    std::ofstream(path) << "5,\"Five, the fifth\"\n";
    FakeStation s;
    s.station.setProtocolFilePath(path);
    s.station.onLoad();
    s.arrive(replyWith({{3, 0xC5}})); // bits 6 and 7 are not part of the number
    EXPECT_EQ(s.window.shown(Field::lblProtocolResult), "Five, the fifth");
}

} // namespace
