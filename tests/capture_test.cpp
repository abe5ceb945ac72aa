// Reading captures for converter-sim --replay: what a capture may hold, line by line, and which
// files are read at all.

#include "capturefile.h"
#include "inputfile.h"
#include "tempdirectory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct LinesCase
{
    const char *name;
    std::string text;
    std::string refusal;                  // empty: read
    std::vector<std::size_t> pieceCounts; // pieces of each exchange, when read
};

TEST(CaptureReaderTest, ReadsOrRefusesEachLine)
{
    const std::string poll = " poll 80 FE 80 FF\n";
    const LinesCase cases[] = {
        {"lower-case hex", "0" + poll + "0.1 rx 8a ff\n", "", {1}},
        {"an outage keeps its place",
         "0" + poll + "0.1 rx 01\n0.5 nopoll No such file or directory\n1.0" + poll +
             "1.05 rx 02\n",
         "",
         {1, 0, 1}},
        {"a piece before its poll", "0.5" + poll + "0.4 rx 01\n", "line 2: the time goes back", {}},
        {"pieces out of order",
         "0" + poll + "0.2 rx 01\n0.1 rx 02\n",
         "line 3: the time goes back",
         {}},
        {"a NUL byte in the time", std::string("0\0", 2) + poll, "line 1: a time in seconds", {}},
        {"a time below zero", "-0.5" + poll, "line 1: a time in seconds", {}},
        {"a huge token", "0 poll " + std::string(1 << 20, 'A') + "\n", "line 1: bytes are two", {}},
    };
    for (const LinesCase &c : cases) {
        SCOPED_TRACE(c.name);
        try {
            const auto exchanges = capture::parseRecording(c.text);
            ASSERT_TRUE(c.refusal.empty());
            std::vector<std::size_t> counts;
            for (const auto &exchange : exchanges)
                counts.push_back(exchange.size());
            EXPECT_EQ(counts, c.pieceCounts);
        } catch (const std::runtime_error &error) {
            const std::string why = error.what();
            EXPECT_TRUE(!c.refusal.empty() && why.starts_with(c.refusal)) << why.substr(0, 200);
            EXPECT_LT(why.size(), 200u);
        }
    }
    const auto exchanges = capture::parseRecording(cases[0].text);
    EXPECT_EQ(exchanges[0][0].bytes, (std::vector<std::uint8_t>{0x8A, 0xFF}));
    EXPECT_EQ(exchanges[0][0].afterPoll, 100ms);
    EXPECT_EQ(capture::parseRecording(cases[1].text)[2][0].afterPoll, 50ms);
}

TEST(CaptureReaderTest, TellsAWholeCaptureFromACutOne)
{
    for (const auto &[lines, complete] :
         {std::pair{std::vector<std::string>{"0 poll 80 FE 80 FF", "# end of capture"}, true},
          {{"0 poll 80 FE 80 FF", "# end of capture", "0.5 poll 80 FE 80 FF"}, false},
          {{"0 poll 80 FE 80 FF", "0.1 rx 80 01"}, false}}) {
        capture::CaptureReader reader;
        for (const std::string &line : lines)
            reader.readLine(line);
        EXPECT_EQ(reader.isComplete(), complete) << lines.back();
    }
}

TEST(InputFileTest, OnlyABoundedRegularFileIsOpened)
{
    const support::TempDirectory folder;
    const std::string fifo = (folder / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = (folder / "big").string();
    std::ofstream(big).close();
    ASSERT_EQ(::truncate(big.c_str(), capture::captureLimitBytes + 1), 0); // sparse: no disk used
    const std::string small = (folder / "small").string();
    std::ofstream(small) << "0 poll 80 FE 80 FF\n";
    const std::string limit = (folder / "limit").string();
    std::ofstream(limit).close();
    ASSERT_EQ(::truncate(limit.c_str(), capture::captureLimitBytes), 0);
    const std::pair<std::string, std::string> cases[] = {
        {folder.path().string(), "a directory"},
        {fifo, "not a regular file"}, // no writer: opening must not wait for one
        {"/dev/zero", "not a regular file"},
        {big, "larger than 64 MiB"},
        {(folder / "missing").string(), "No such file"},
        {small, ""},
        {limit, ""}, // exactly the limit is within it
    };
    for (const auto &[path, refusal] : cases) {
        const auto opened = cli::openInputFile(path, capture::captureLimitBytes);
        const auto *why = std::get_if<std::string>(&opened);
        if (refusal.empty())
            EXPECT_EQ(why, nullptr) << path << ": " << *why;
        else
            EXPECT_TRUE(why && why->starts_with(refusal)) << path << (why ? ": " + *why : "");
    }
}

} // namespace
