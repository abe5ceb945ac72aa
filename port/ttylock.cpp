#include "ttylock.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace port {

namespace {

using station::PortError;
using station::PortResult;

constexpr const char *notSerialDevice = "not a serial device";

PortError errorKind(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return PortError::NotFound;
    case EACCES:
    case EPERM:
        return PortError::PermissionDenied;
    case EBUSY:
    case EWOULDBLOCK:
        return PortError::Busy;
    default:
        return PortError::Other;
    }
}

PortResult systemFailure(int error)
{
    return PortResult::failure(errorKind(error), std::strerror(error));
}

std::string readFile(const char *path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

bool isSerialDevice(unsigned major, unsigned minor)
{
    constexpr unsigned virtualConsoleMajor = 4, ttyAuxMajor = 5;
    constexpr unsigned ptySlaveMajor = 136, ptySlaveMajors = 8;
    if (major >= ptySlaveMajor && major < ptySlaveMajor + ptySlaveMajors)
        return true; // pseudo-terminal slaves have no sysfs entry
    if (major == ttyAuxMajor || (major == virtualConsoleMajor && minor < 64))
        return false;
    const std::string device =
        "/sys/dev/char/" + std::to_string(major) + ":" + std::to_string(minor) + "/subsystem";
    std::error_code error;
    const auto subsystem = std::filesystem::read_symlink(device, error);
    return !error && subsystem.filename() == "tty";
}

bool isConsoleDevice(unsigned major, unsigned minor, std::string_view consoles)
{
    // Each line: the name, its flags, then MAJOR:MINOR as the last word.
    const std::string wanted = std::to_string(major) + ":" + std::to_string(minor);
    std::istringstream lines{std::string(consoles)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word, last;
        while (words >> word)
            last = word;
        if (last == wanted)
            return true;
    }
    return false;
}

std::string deviceHolders(const std::string &devicePath)
{
    std::string holders;
    std::error_code error;
    for (const auto &process : std::filesystem::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        bool holds = false;
        std::error_code ignored;
        for (const auto &fd : std::filesystem::directory_iterator(process.path() / "fd", ignored)) {
            if (std::filesystem::read_symlink(fd.path(), ignored) == devicePath) {
                holds = true;
                break;
            }
        }
        if (!holds)
            continue;
        std::string name;
        std::getline(std::ifstream(process.path() / "comm"), name);
        holders += (holders.empty() ? "held by " : ", ") + name + ", process " + pid;
    }
    return holders;
}

PortResult TtyLock::acquire(const std::string &path)
{
    release();
    struct stat status
    {};
    if (::stat(path.c_str(), &status) != 0)
        return systemFailure(errno);
    if (!S_ISCHR(status.st_mode) || !isSerialDevice(major(status.st_rdev), minor(status.st_rdev)))
        return PortResult::failure(PortError::NotSerialDevice, notSerialDevice);
    if (isConsoleDevice(major(status.st_rdev), minor(status.st_rdev), readFile("/proc/consoles")))
        return PortResult::failure(PortError::SystemConsole, "the system console");

    const int descriptor = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return systemFailure(errno);
    // The path may have changed between stat and open: check what was actually opened.
    struct stat opened
    {};
    if (::fstat(descriptor, &opened) != 0 || opened.st_rdev != status.st_rdev ||
        !::isatty(descriptor)) {
        ::close(descriptor);
        return PortResult::failure(PortError::NotSerialDevice, notSerialDevice);
    }
    char resolved[PATH_MAX];
    const std::string device = ::realpath(path.c_str(), resolved) ? resolved : path;
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(descriptor);
        if (error != EWOULDBLOCK)
            return systemFailure(error);
        const std::string holders = deviceHolders(device);
        return PortResult::failure(PortError::Busy,
                                   std::string(std::strerror(EBUSY)) + ": " +
                                       (holders.empty() ? "in use by another program" : holders));
    }
    m_devicePath = device;
    m_descriptor = descriptor;
    return PortResult::success();
}

// Set only once the port itself is open: for a user without CAP_SYS_ADMIN, TIOCEXCL refuses every
// later open of the device, the station's own included.
void TtyLock::refuseOtherOpens()
{
    if (m_descriptor >= 0)
        ::ioctl(m_descriptor, TIOCEXCL);
}

void TtyLock::release()
{
    if (m_descriptor < 0)
        return;
    ::ioctl(m_descriptor, TIOCNXCL);
    ::close(m_descriptor);
    m_descriptor = -1;
    m_devicePath.clear();
}

} // namespace port
