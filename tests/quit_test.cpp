// The program as a whole, ended by a signal while it polls: it must quit as orderly as when its
// window is closed.

#include "simprocess.h"
#include "tempdirectory.h"
#include "unprivilegedopen.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace {

// The lock files QSerialPort may have made for `device`, in the folders it tries.
std::vector<std::filesystem::path> lockFiles(const std::string &device)
{
    std::string name = device.substr(std::string("/dev/").size());
    std::replace(name.begin(), name.end(), '/', '_');
    std::vector<std::filesystem::path> found;
    for (const char *folder :
         {"/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp"}) {
        const auto path = std::filesystem::path(folder) / ("LCK.." + name);
        if (std::filesystem::exists(path))
            found.push_back(path);
    }
    return found;
}

// Ends the station's display from outside: SIGTERM to the station itself, or to its X server.
constexpr int lostDisplay = 0;

TEST(QuitTest, SignalsEndThePollingStationInOrder)
{
    for (const int number : {SIGTERM, SIGINT, SIGHUP, lostDisplay}) {
        SCOPED_TRACE(number == lostDisplay ? "display lost" : strsignal(number));
        // The unit holds its end of the line open, so a flag left on the tty would stay there.
        support::SimProcess sim({});
        ASSERT_FALSE(sim.path().empty());
        const support::TempDirectory folder;
        std::ofstream(folder / "Protocol.txt") << "5,Five\n";
        QProcess station;
        station.setWorkingDirectory(QString::fromStdString(folder.path().string()));
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess display;
        if (number == lostDisplay) {
            display.start(QStringLiteral("Xvfb"),
                          {QStringLiteral("-displayfd"), QStringLiteral("1"),
                           QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            ASSERT_TRUE(display.waitForReadyRead(10000)) << "Xvfb did not start";
            environment.insert(QStringLiteral("DISPLAY"),
                               QStringLiteral(":") +
                                   QString::fromLatin1(display.readLine().trimmed()));
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        }
        station.setProcessEnvironment(environment);
        station.start(QStringLiteral(STATION_DRIVER_PATH), {QString::fromStdString(sim.path())});
        ASSERT_TRUE(station.waitForReadyRead(10000));
        ASSERT_EQ(station.readLine().trimmed().toStdString(), "polling");
        ASSERT_FALSE(lockFiles(sim.path()).empty()) << "while polling the port is locked";
        ASSERT_EQ(support::openErrorWithoutLocking(sim.path()), EBUSY) << "and held exclusively";

        if (number == lostDisplay) {
            display.terminate();
            ASSERT_TRUE(station.waitForFinished(10000));
            EXPECT_EQ(station.exitStatus(), QProcess::NormalExit) << "Qt ends it with exit()";
        } else {
            ::kill(static_cast<pid_t>(station.processId()), number);
            ASSERT_TRUE(station.waitForFinished(10000));
            EXPECT_EQ(station.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(station.exitCode(), 0);
        }
        EXPECT_TRUE(lockFiles(sim.path()).empty());
        EXPECT_EQ(support::openErrorWithoutLocking(sim.path()), 0)
            << "another program can open the port at once";
    }
}

} // namespace
