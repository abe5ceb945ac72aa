#include "ttylock.h"

#include "serialdevice.h"
#include "terminaltext.h"

#include <algorithm>
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
    case EMFILE:
    case ENFILE:
        return PortError::TooManyFiles;
    default:
        return PortError::Other;
    }
}

PortResult systemFailure(int error)
{
    return PortResult::failure(errorKind(error), std::strerror(error));
}

} // namespace

namespace {

std::string holdersText(const std::vector<std::pair<std::string, std::string>> &holders)
{
    std::string text;
    for (const auto &[name, pid] : holders)
        text += (text.empty() ? "held by " : ", ") + name + ", process " + pid;
    return text;
}

// A program names itself, and the kernel keeps 15 bytes of the name, which may cut a character in
// two: the cut part goes, and the rest is shown as outside text, never obeyed by a terminal.
std::string programName(std::string name)
{
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, name.size()); ++back) {
        const auto byte = static_cast<unsigned char>(name[name.size() - back]);
        if ((byte & 0xC0) == 0x80)
            continue;
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        if (length > back)
            name.resize(name.size() - back);
        break;
    }
    return cli::printable(name);
}

} // namespace

std::string deviceHolders(const std::string &devicePath)
{
    return holdersText(deviceHolderList(devicePath));
}

std::vector<std::pair<std::string, std::string>> deviceHolderList(const std::string &devicePath)
{
    std::vector<std::pair<std::string, std::string>> holders;
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
        holders.emplace_back(programName(name), pid);
    }
    return holders;
}

namespace {

// The USB adapter's vendor and product id for a tty such as /dev/ttyUSB0, read from sysfs.
std::pair<std::string, std::string> usbIds(const std::string &devicePath)
{
    std::error_code error;
    const std::filesystem::path name = std::filesystem::path(devicePath).filename();
    std::filesystem::path at = std::filesystem::canonical(
        std::filesystem::path("/sys/class/tty") / name / "device", error);
    for (int up = 0; !error && up < 8 && at.has_relative_path(); ++up, at = at.parent_path()) {
        std::string vendor, product;
        std::getline(std::ifstream(at / "idVendor"), vendor);
        std::getline(std::ifstream(at / "idProduct"), product);
        if (!vendor.empty() && !product.empty())
            return {vendor, product};
    }
    return {};
}

PortResult busyFailure(const std::string &device)
{
    const std::vector<std::pair<std::string, std::string>> holders = deviceHolderList(device);
    const std::string text = holdersText(holders);
    PortResult failure = PortResult::failure(
        PortError::Busy, std::string(std::strerror(EBUSY)) + ": " +
                             (text.empty() ? "in use by another program" : text));
    const auto [vendor, product] = usbIds(device);
    failure.withHolder(holders.empty() ? std::string() : holders.front().first, vendor, product);
    return failure;
}

} // namespace

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
    if (descriptor < 0) {
        // Another program opened it with TIOCEXCL: say who, as for a lock.
        if (errno == EBUSY) {
            char resolved[PATH_MAX];
            return busyFailure(::realpath(path.c_str(), resolved) ? resolved : path);
        }
        return systemFailure(errno);
    }
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
        return busyFailure(device);
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
