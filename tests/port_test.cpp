#include "portname.h"
#include "processusage.h"
#include "ptypair.h"
#include "serialdevice.h"
#include "serialportcontroller.h"
#include "tempdirectory.h"
#include "ttylock.h"
#include "unprivilegedopen.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <thread>

#include <fstream>
#include <pty.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

using port::SerialPortController;
using station::Bytes;

namespace {

struct NameCase
{
    std::string name;
    std::string path; // empty: refused
};

TEST(PortNameTest, MapsOperatorNamesToDevices)
{
    const NameCase cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"com256", "/dev/ttyS255"},
        {"Com17", "/dev/ttyS16"},
        {" COM3 ", "/dev/ttyS2"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"ttyACM0", "/dev/ttyACM0"},
        {"/dev/pts/3", "/dev/pts/3"},
        {"/dev/serial/by-id/usb-X-if00-port0", "/dev/serial/by-id/usb-X-if00-port0"},
        {"COM0", ""},
        {"COM257", ""},
        {"COM01", ""},
        {"COM1x", ""},
        {"COM99999999999999999999", ""},
        {"", ""},
        {"     ", ""},
        {std::string(5000, 'a'), ""},
        {"tty\nUSB0", ""},
        {"ttyUSB0\t", ""},
        {"../../etc/passwd", ""},
        {"sub/dir", ""},
        {"..", ""},
    };
    for (const auto &c : cases) {
        const auto mapped = port::devicePathForPortName(c.name);
        if (c.path.empty()) {
            const auto *refused = std::get_if<port::NameRefused>(&mapped);
            ASSERT_NE(refused, nullptr) << c.name.substr(0, 40);
            EXPECT_FALSE(refused->reason.empty());
        } else {
            const auto *device = std::get_if<port::DevicePath>(&mapped);
            ASSERT_NE(device, nullptr) << c.name;
            EXPECT_EQ(device->path, c.path);
        }
    }
}

class AdapterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isValid());
        ASSERT_TRUE(adapter.SetSpeed(19200).isOk());
    }

    support::PtyPair pty;
    SerialPortController adapter;
    support::TempDirectory directory;
};

TEST_F(AdapterTest, SendsAndReadsAReplyInPieces)
{
    const Bytes earlierUnit{0x80, 0x01, 0x00, 0x80, 0xFF};
    pty.write(earlierUnit); // waiting on the line before the port is opened: never read
    ASSERT_TRUE(adapter.OpenPort(pty.path()).isOk());
    EXPECT_EQ(pty.speed(), B19200) << "the speed set before the port was opened";
    const Bytes poll{0x80, 0xFE, 0x80, 0xFF};
    ASSERT_TRUE(adapter.SendData(poll).isOk());
    EXPECT_EQ(pty.read(4), poll);

    QSignalSpy arrived(&adapter, &SerialPortController::dataArrived);
    Bytes collected;
    const Bytes reply{0x80, 0x01, 0x05, 0x80, 0x80, 0x07, 0xFF, 0x00, 0x80, 0xFF};
    pty.write({reply.begin(), reply.begin() + 3});
    ASSERT_TRUE(arrived.wait(2000));
    Bytes piece;
    ASSERT_TRUE(adapter.ReadData(piece).isOk());
    collected.insert(collected.end(), piece.begin(), piece.end());
    pty.write({reply.begin() + 3, reply.end()});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            adapter.ReadData(piece);
            collected.insert(collected.end(), piece.begin(), piece.end());
            return collected.size() >= reply.size();
        },
        2000));
    EXPECT_EQ(collected, reply) << "each byte once, in order";
    ASSERT_TRUE(adapter.ReadData(piece).isOk());
    EXPECT_TRUE(piece.empty());

    // Bytes that reach the driver while the thread is held, as through the tick's pause: a read
    // moves them without a turn of the event loop, and tells of them no second time.
    arrived.clear();
    pty.write(reply);
    collected.clear();
    for (int i = 0; i < 200 && collected.size() < reply.size(); ++i) {
        ASSERT_TRUE(adapter.ReadData(piece).isOk());
        collected.insert(collected.end(), piece.begin(), piece.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(collected, reply);
    EXPECT_EQ(arrived.count(), 0);

    EXPECT_TRUE(adapter.ClosePort().isOk());
    EXPECT_FALSE(adapter.SendData(poll).isOk());
    EXPECT_TRUE(adapter.ClosePort().isOk()) << "closing twice is harmless";
}

TEST_F(AdapterTest, RefusesWhatIsNotASerialDevice)
{
    const auto file = directory / "notes.txt";
    std::ofstream(file) << "keep me";
    struct stat before
    {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    const auto fifo = directory / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto link = directory / "link-to-file";
    std::filesystem::create_symlink(file, link);

    using station::PortError;
    struct Case
    {
        std::string name;
        PortError kind;
        std::string reason; // a part of the reason the operator is shown
    };
    const Case cases[] = {
        {file.string(), PortError::NotSerialDevice, "not a serial device"},
        {link.string(), PortError::NotSerialDevice, "not a serial device"},
        {directory.path().string(), PortError::NotSerialDevice, "not a serial device"},
        {fifo.string(), PortError::NotSerialDevice, "not a serial device"},
        {"/dev/null", PortError::NotSerialDevice, "not a serial device"},
        {"/dev/zero", PortError::NotSerialDevice, "not a serial device"},
        {"/dev/ptmx", PortError::NotSerialDevice, "not a serial device"},
        {"/dev/tty", PortError::NotSerialDevice, "not a serial device"},
        {"/dev/console", PortError::NotSerialDevice, "not a serial device"},
        {(directory / "missing").string(), PortError::NotFound, "No such file or directory"},
        {"ttyNoSuchDevice", PortError::NotFound, "No such file or directory"},
        {"COM0", PortError::BadName, "COM1 to COM256"},
        {"COM257", PortError::BadName, "COM1 to COM256"},
        {"COM1x", PortError::BadName, "COM1 to COM256"},
        {"", PortError::BadName, "no port name"},
        {"   ", PortError::BadName, "no port name"},
        {std::string(5000, 'x'), PortError::BadName, "too long"},
        {"/dev/pts/0\n", PortError::BadName, "control character"},
        {"../../etc/passwd", PortError::BadName, "not a device"},
        {"$(touch /tmp/x);`id`|*", PortError::BadName, "not a device"},
        {"ttyUSB0; rm -rf ~ && echo $HOME `id` *", PortError::NotFound, "No such file"},
    };
    for (const auto &c : cases) {
        const auto result = adapter.OpenPort(c.name);
        EXPECT_EQ(result.error(), c.kind) << c.name.substr(0, 40) << ": " << result.reason();
        EXPECT_NE(result.reason().find(c.reason), std::string::npos)
            << c.name.substr(0, 40) << ": " << result.reason();
        EXPECT_EQ(adapter.state(), SerialPortController::State::Closed);
    }

    struct stat after
    {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    std::ifstream in(file);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "keep me");
}

// Some sandboxes hide the kernel's list of tty drivers; the device's class still tells /dev/null
// from a serial line, before anything is opened.
TEST(TtyLockTest, WithTheDriverListHiddenOnlySerialLinesAreTaken)
{
    enum : int {
        refusedAndAccepted = 0,
        noNamespace = 77,
        listStillThere,
        nullAccepted,
        ptyRefused
    };
    const pid_t child = ::fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", "/proc/tty", "tmpfs", 0, nullptr) != 0)
            ::_exit(noNamespace);
        if (std::ifstream("/proc/tty/drivers"))
            ::_exit(listStillThere);
        port::TtyLock lock;
        if (lock.acquire("/dev/null").error() != station::PortError::NotSerialDevice)
            ::_exit(nullAccepted);
        int master = -1, slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0 || !lock.acquire(name).isOk())
            ::_exit(ptyRefused);
        ::_exit(refusedAndAccepted);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == noNamespace)
        GTEST_SKIP() << "hiding the driver list needs a private mount namespace (root)";
    EXPECT_NE(WEXITSTATUS(status), nullAccepted) << "/dev/null was taken for a serial port";
    EXPECT_EQ(WEXITSTATUS(status), refusedAndAccepted);
}

TEST(TtyLockTest, SerialLinesAndTheSystemConsoleAreKnownByTheirDeviceNumbers)
{
    // Decided before anything is opened: memory devices, the controlling tty, /dev/console,
    // /dev/ptmx and the virtual consoles are no serial lines; pty slaves are.
    const std::pair<std::pair<unsigned, unsigned>, bool> devices[] = {
        {{1, 3}, false}, {{1, 5}, false}, {{5, 0}, false},  {{5, 1}, false},
        {{5, 2}, false}, {{4, 1}, false}, {{136, 0}, true}, {{143, 7}, true}};
    for (const auto &[number, serial] : devices)
        EXPECT_EQ(cli::isSerialDevice(number.first, number.second), serial)
            << number.first << ":" << number.second;

    const std::string consoles = "tty0                 -WU (EC p  )    4:0\n"
                                 "ttyS0                -W- (E  p a)    4:64\n"
                                 "netcon0              -W- (E     )    \n";
    EXPECT_TRUE(cli::isConsoleDevice(4, 64, consoles));
    EXPECT_TRUE(cli::isConsoleDevice(4, 0, consoles));
    EXPECT_FALSE(cli::isConsoleDevice(4, 65, consoles));
    EXPECT_FALSE(cli::isConsoleDevice(64, 4, consoles));
    EXPECT_FALSE(cli::isConsoleDevice(188, 0, ""));
}

// Out of file descriptors is no permission problem: what to do is raise the limit.
TEST_F(AdapterTest, OutOfDescriptorsSaysSo)
{
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    // Once with descriptors to spare, so that a sanitized build has looked at every type on
    // the way before its own checks find none.
    ASSERT_TRUE(adapter.OpenPort(pty.path()).isOk());
    adapter.ClosePort();
    for (const rlim_t spare : {0, 1}) { // none for our lock, or one, and none for QSerialPort's
        const int next = ::open("/dev/null", O_RDONLY);
        ASSERT_GE(next, 0);
        ::close(next);
        rlimit tight = before;
        tight.rlim_cur = static_cast<rlim_t>(next) + spare;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        const station::PortResult opened = adapter.OpenPort(pty.path());
        ::setrlimit(RLIMIT_NOFILE, &before);
        EXPECT_EQ(opened.error(), station::PortError::TooManyFiles) << spare << opened.reason();
        adapter.ClosePort();
    }
}

TEST_F(AdapterTest, HoldsTheDeviceExclusivelyThroughSymlinksToo)
{
    const auto link = directory / "unit";
    std::filesystem::create_symlink(pty.path(), link);
    ASSERT_TRUE(adapter.OpenPort(pty.path()).isOk());

    SerialPortController second;
    ASSERT_TRUE(second.SetSpeed(19200).isOk());
    // The holder is this very process, so the system lets it be named.
    const std::string holder = "held by port_tests, process " + std::to_string(::getpid());
    for (const std::string &name : {pty.path(), link.string()}) {
        const auto result = second.OpenPort(name);
        EXPECT_EQ(result.error(), station::PortError::Busy) << name;
        EXPECT_NE(result.reason().find(holder), std::string::npos) << result.reason();
        EXPECT_EQ(result.holder(), "port_tests") << "the hint is chosen by the holder's name";
    }
    // A holder's name is the program's own word: cut whole, and never obeyed by a terminal.
    const std::pair<const char *, const char *> names[] = {
        {"\xD1\x82\xD0\xB5\xD1\x80\xD0\xBC\xD0\xB8\xD0\xBD\xD0\xB0\xD0\xBB", // 16 bytes
         "held by \xD1\x82\xD0\xB5\xD1\x80\xD0\xBC\xD0\xB8\xD0\xBD\xD0\xB0, process"},
        {"\x1B[1A\x1B[2K\rPASS", "held by \\x1B[1A\\x1B[2K\\x0DPASS, process"},
    };
    for (const auto &[name, shown] : names) {
        ::prctl(PR_SET_NAME, name);
        const std::string reason = second.OpenPort(pty.path()).reason();
        EXPECT_NE(reason.find(shown), std::string::npos) << reason;
    }
    ::prctl(PR_SET_NAME, "port_tests");
    EXPECT_EQ(support::openErrorWithoutLocking(pty.path()), EBUSY)
        << "a terminal program that takes no lock is refused too";

    adapter.ClosePort();
    EXPECT_TRUE(second.OpenPort(link.string()).isOk()) << "closing releases the device at once";
    EXPECT_EQ(second.devicePath(), pty.path());
    EXPECT_FALSE(adapter.OpenPort(pty.path()).isOk());
}

// An operator outside the dialout group meets a port only root may open: that is "permission
// denied", which the hint answers with the group to join.
TEST_F(AdapterTest, APortOnlyRootMayOpenIsPermissionDeniedForAnOperator)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "making a port only root may open needs root";
    ASSERT_EQ(::chmod(pty.path().c_str(), 0600), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        port::TtyLock lock;
        ::_exit(static_cast<int>(lock.acquire(pty.path()).error()));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(station::PortError::PermissionDenied));
}

TEST_F(AdapterTest, DeviceLossClosesOnceStaysQuietAndReopensBehindTheSymlink)
{
    const auto link = directory / "unit";
    std::filesystem::create_symlink(pty.path(), link);
    ASSERT_TRUE(adapter.OpenPort(link.string()).isOk());

    // Unplugged: the adapter's link goes with it. A link left behind would point at a pty number
    // that another program may be given meanwhile.
    pty.hangUp();
    std::filesystem::remove(link);
    ASSERT_TRUE(QTest::qWaitFor([&] { return adapter.lossCount() > 0; }, 2000));
    const double cpuBefore = support::processCpuSeconds();
    QTest::qWait(2000);
    const double cpuUsed = support::processCpuSeconds() - cpuBefore;
    EXPECT_EQ(adapter.lossCount(), 1);
    EXPECT_EQ(adapter.state(), SerialPortController::State::Lost);
    // An error storm keeps a core busy the whole time; a quiet adapter uses next to nothing.
    EXPECT_LT(cpuUsed, 0.2) << "CPU seconds used in 2 s while the device was gone";

    const Bytes poll{0x80, 0xFE, 0x80, 0xFF};
    EXPECT_FALSE(adapter.SendData(poll).isOk()) << "still gone";

    support::PtyPair replugged;
    ASSERT_TRUE(replugged.isValid());
    std::filesystem::create_symlink(replugged.path(), link);
    replugged.write({0x80, 0x01, 0x00, 0x80, 0xFF}); // sent before the reopen: never read
    EXPECT_TRUE(adapter.SendData(poll).isOk());
    EXPECT_EQ(adapter.state(), SerialPortController::State::Open);
    EXPECT_EQ(replugged.read(4), poll);
    EXPECT_EQ(replugged.speed(), B19200);
    QTest::qWait(50);
    Bytes received;
    ASSERT_TRUE(adapter.ReadData(received).isOk());
    EXPECT_TRUE(received.empty()) << station::hexText(received);
}

TEST_F(AdapterTest, RefusesSpeedsItCannotSet)
{
    for (const int speed : {0, -19200, 19201, 1000000000})
        EXPECT_FALSE(adapter.SetSpeed(speed).isOk()) << speed;
    EXPECT_TRUE(adapter.SetSpeed(9600).isOk());
}

} // namespace
