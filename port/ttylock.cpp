#include "ttylock.h"

#include "serialdevice.h"

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

} // namespace

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
    const cli::DeviceCheck check = cli::checkSerialDevice(path);
    if (check.refusal) {
        switch (*check.refusal) {
        case cli::DeviceRefusal::NotFound:
            return systemFailure(check.error);
        case cli::DeviceRefusal::NotSerialDevice:
            return PortResult::failure(PortError::NotSerialDevice, cli::refusalText(check));
        case cli::DeviceRefusal::SystemConsole:
            return PortResult::failure(PortError::SystemConsole, cli::refusalText(check));
        }
    }
    const int descriptor = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0)
        return systemFailure(errno);
    // The path may have changed between stat and open: check what was actually opened.
    struct stat opened
    {};
    if (::fstat(descriptor, &opened) != 0 || opened.st_rdev != check.device ||
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
