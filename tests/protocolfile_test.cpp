#include "protocolfile.h"
#include "tempdirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace station;

namespace {

ProtocolNames unknownTable()
{
    ProtocolNames table;
    table.fill(std::string(unknownProtocol));
    return table;
}

struct RecordCase
{
    const char *name;
    std::string content;
    bool ok;
    std::map<int, std::string> expected; // entries that must differ from "Unknown Protocol"
};

TEST(ProtocolRecordsTest, ReadsRecordsAsOperatorsWriteThem)
{
    const RecordCase cases[] = {
        {"one record per line", "0,Alpha\n1,Beta\n", true, {{0, "Alpha"}, {1, "Beta"}}},
        {"CRLF reads like LF", "0,Alpha\r\n1,Beta\r\n", true, {{0, "Alpha"}, {1, "Beta"}}},
        {"quoted name holds commas", "5,\"Gamma, extended\"\n", true, {{5, "Gamma, extended"}}},
        {"blanks before fields skipped", "  7 ,   Delta\n", true, {{7, "Delta"}}},
        {"trailing blanks trimmed", "7,Delta  \t\n", true, {{7, "Delta"}}},
        {"quoted blanks kept", "7,\"  Delta \"\n", true, {{7, "  Delta "}}},
        {"later record replaces", "3,Old\n3,New\n", true, {{3, "New"}}},
        {"blank lines skipped", "\n\n1,A\n\n  \n2,B\n\n", true, {{1, "A"}, {2, "B"}}},
        {"no newline at end", "9,Last", true, {{9, "Last"}}},
        {"fields across lines", "4\n\n  Epsilon\n", true, {{4, "Epsilon"}}},
        {"several records on a line", "1,A,2,B\n", true, {{1, "A"}, {2, "B"}}},
        {"255 is allowed", "255,Top\n", true, {{255, "Top"}}},
        {"leading zeros",
         "0007,Seven\n00000000000000000000255,Top\n",
         true,
         {{7, "Seven"}, {255, "Top"}}},
        {"empty name", "6,\n", true, {{6, ""}}},
        {"byte-order mark skipped",
         "\xEF\xBB\xBF"
         "1,A\n",
         true,
         {{1, "A"}}},
        {"quote in the middle is text", "2,ab\"c\n", true, {{2, "ab\"c"}}},
        {"empty file", "", true, {}},
        {"256 is out of range", "1,A\n256,B\n", false, {{1, "A"}}},
        {"negative number", "-1,A\n", false, {}},
        {"digits then letters", "1,A\n12x,B\n", false, {{1, "A"}}},
        {"letters", "abc,B\n", false, {}},
        {"empty number", ",B\n", false, {}},
        {"number that wraps 32 bits", "1,A\n4294967296,B\n", false, {{1, "A"}}},
        {"very long number", "99999999999999999999999999,B\n", false, {}},
        {"number without a name", "1,A\n2", false, {{1, "A"}}},
        {"unbalanced quote", "1,A\n2,\"never closed\n3,C\n", false, {{1, "A"}}},
        {"quote closing on a later line", "1,A\n2,\"B\n3,\"C\"\n", false, {{1, "A"}}},
        {"unbalanced quote at the end", "1,A\n2,\"B", false, {{1, "A"}}},
        {"binary",
         std::string("1,\0\x01\xFF\x80\n", 7),
         true,
         {{1, std::string("\0\x01\xFF\x80", 4)}}},
        {"binary number", std::string("\x01\x02,x\n", 5), false, {}},
        {"quoted name with text after the quote",
         "4,\"Four\" extra\n5,Five\n",
         true,
         {{4, "Four"}, {5, "Five"}}},
    };
    for (const auto &c : cases) {
        ProtocolNames table = unknownTable();
        EXPECT_EQ(readProtocolRecords(c.content, table), c.ok) << c.name;
        for (int n = 0; n < 256; ++n) {
            const auto it = c.expected.find(n);
            const std::string want =
                it == c.expected.end() ? std::string(unknownProtocol) : it->second;
            EXPECT_EQ(table[static_cast<std::size_t>(n)], want) << c.name << " entry " << n;
        }
    }
}

TEST(ProtocolFileTest, ReadsAFileAndRefusesWhatIsNotOne)
{
    const support::TempDirectory temp;
    const auto file = temp / "Protocol.txt";
    ProtocolNames table = unknownTable();
    EXPECT_FALSE(readProtocolFile(file, table)) << "missing file";
    EXPECT_EQ(table, unknownTable());

    std::ofstream(file) << "12,\"Twelve, the protocol\"\r\n";
    EXPECT_TRUE(readProtocolFile(file, table));
    EXPECT_EQ(table[12], "Twelve, the protocol");

    const auto directory = temp / "dir";
    std::filesystem::create_directory(directory);
    EXPECT_FALSE(readProtocolFile(directory, table)) << "a directory";

    const auto fifo = temp / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readProtocolFile(fifo, table)) << "a FIFO must not block start-up";
}

// Another program swaps "Protocol.txt" between a list and a FIFO while the station starts, over
// and over: every read must end at once, with the list or with a refusal.
TEST(ProtocolFileTest, AFileSwappedDuringTheReadNeverBlocksStartUp)
{
    const support::TempDirectory temp;
    const auto path = temp / "Protocol.txt";
    const auto list = temp / "list.txt";
    const auto fifo = temp / "fifo";
    std::ofstream(list) << "1,A\n";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink(list, path);

    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        const auto next = temp / "next";
        for (int i = 0; !stop; ++i) {
            std::error_code ignored;
            std::filesystem::create_symlink(i % 2 ? fifo : list, next, ignored);
            std::filesystem::rename(next, path, ignored);
        }
    });
    auto reads = std::async(std::launch::async, [&] {
        int refused = 0;
        for (int i = 0; i < 10000 && !stop; ++i) {
            ProtocolNames table = unknownTable();
            if (!readProtocolFile(path, table))
                ++refused;
            else if (table[1] != "A")
                return -1;
        }
        return refused;
    });
    const bool finished = reads.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    stop = true;
    swapper.join();
    if (!finished) {
        // Let the blocked read go by giving the FIFO a writer.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    const int refused = reads.get();
    EXPECT_TRUE(finished) << "a read blocked on the FIFO";
    EXPECT_GE(refused, 0) << "a read returned a table that is neither the list nor untouched";
}

// Reads the file as a station without root rights would: as root, permission bits do not apply.
bool readAsUnprivileged(const std::filesystem::path &path)
{
    if (::geteuid() != 0) {
        ProtocolNames table = unknownTable();
        return readProtocolFile(path, table);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        ProtocolNames table = unknownTable();
        ::_exit(readProtocolFile(path, table) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ProtocolFileTest, FilesAsTheyAreFoundOnBenchPcs)
{
    const support::TempDirectory temp;
    ::chmod(temp.path().c_str(), 0755);

    // Ten megabytes of records: read whole, the last record for each number wins.
    const auto big = temp / "big.txt";
    {
        std::ofstream out(big, std::ios::binary);
        for (int i = 0; out.tellp() < 10 * 1024 * 1024; ++i)
            out << (i % 64) << ",\"Protocol " << i << ", long name\"\r\n";
    }
    ProtocolNames table = unknownTable();
    EXPECT_TRUE(readProtocolFile(big, table));
    EXPECT_TRUE(table[0].starts_with("Protocol ")) << table[0];
    EXPECT_EQ(table[64], unknownProtocol);

    // Unreadable for the operator's account.
    const auto locked = temp / "locked.txt";
    std::ofstream(locked) << "1,A\n";
    ::chmod(locked.c_str(), 0000);
    EXPECT_FALSE(readAsUnprivileged(locked));
    ::chmod(locked.c_str(), 0644);
    EXPECT_TRUE(readAsUnprivileged(locked));

    // Binary content: a defined outcome, and nothing read past the data.
    const auto binary = temp / "binary.txt";
    {
        std::ofstream out(binary, std::ios::binary);
        for (int i = 0; i < 4096; ++i)
            out.put(static_cast<char>((i * 7919) & 0xFF));
    }
    table = unknownTable();
    EXPECT_FALSE(readProtocolFile(binary, table));

    // Larger than any list of 256 names can be.
    const auto huge = temp / "huge.txt";
    std::ofstream(huge).put('1');
    std::filesystem::resize_file(huge, protocolFileLimitBytes + 1);
    EXPECT_FALSE(readProtocolFile(huge, table));
}

} // namespace
