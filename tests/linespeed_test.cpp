// The simulated unit as a station that sets its speed as a number (BOTHER) meets it. termios2
// cannot stand beside <termios.h>, so this file has it alone.

#include "simprocess.h"

#include <asm/termbits.h>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

// It answers a line set to 19200 however it was set, at 10 bits a byte, and keeps silent at 9600.
TEST(SimulatedUnitTest, AnswersOnlyAtTheStationsSpeed)
{
    using Clock = std::chrono::steady_clock;
    for (const auto &[speed, answers] : {std::pair{19200u, true}, std::pair{9600u, false}}) {
        SCOPED_TRACE(speed);
        support::SimProcess unit({});
        const int line = ::open(unit.path().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(line, 0);
        termios2 settings{};
        ASSERT_EQ(::ioctl(line, TCGETS2, &settings), 0);
        settings.c_cflag = (settings.c_cflag & ~(CBAUD | CSIZE | PARENB)) | BOTHER | CS8 | CREAD;
        settings.c_ispeed = settings.c_ospeed = speed;
        settings.c_iflag = settings.c_oflag = settings.c_lflag = 0;
        ASSERT_EQ(::ioctl(line, TCSETS2, &settings), 0);
        const std::uint8_t poll[] = {0x80, 0xFE, 0x80, 0xFF};
        ASSERT_EQ(::write(line, poll, sizeof poll), 4);

        std::vector<std::uint8_t> reply;
        Clock::time_point first, last;
        const auto until = Clock::now() + std::chrono::milliseconds(1000);
        for (pollfd watch{line, POLLIN, 0}; Clock::now() < until && reply.size() < 27;) {
            if (::poll(&watch, 1, 20) <= 0)
                continue;
            std::uint8_t byte[64];
            const ssize_t got = ::read(line, byte, sizeof byte);
            if (got > 0 && reply.empty())
                first = Clock::now();
            if (got > 0)
                last = Clock::now();
            reply.insert(reply.end(), byte, byte + std::max<ssize_t>(got, 0));
        }
        ::close(line);
        EXPECT_EQ(reply.size(), answers ? 27u : 0u);
        // 26 bytes after the first, 10 bits each at 19200 bit/s: 13.5 ms.
        if (answers) {
            EXPECT_GE(last - first, std::chrono::microseconds(13000));
        }
    }
}
