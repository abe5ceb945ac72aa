#include "ttylock.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
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

constexpr const char *notSerialDevice = "not a serial device";

bool minorInRange(const std::string &range, unsigned minor)
{
    const auto dash = range.find('-');
    try {
        if (dash == std::string::npos)
            return std::stoul(range) == minor;
        return std::stoul(range.substr(0, dash)) <= minor &&
               minor <= std::stoul(range.substr(dash + 1));
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace

// The kernel's list of tty drivers tells serial ports (ttyS, ttyUSB, ttyACM, ...) and pty slaves
// apart from the console, /dev/tty and /dev/ptmx, which share the tty majors.
bool isSerialDevice(unsigned major, unsigned minor)
{
    std::ifstream drivers("/proc/tty/drivers");
    if (!drivers) {
        // Some sandboxes hide the list. Refuse what is certainly not a serial line (/dev/tty,
        // /dev/console, /dev/ptmx, the virtual consoles, pty masters) and leave the rest to the
        // terminal check after opening.
        constexpr unsigned ttyAuxMajor = 5, virtualConsoleMajor = 4, ptyMasterMajor = 128;
        return major != ttyAuxMajor && !(major == virtualConsoleMajor && minor < 64) &&
               !(major >= ptyMasterMajor && major < ptyMasterMajor + 8);
    }
    std::string line;
    while (std::getline(drivers, line)) {
        std::istringstream fields(line);
        std::string name, prefix, range, type;
        unsigned driverMajor = 0;
        if (!(fields >> name >> prefix >> driverMajor >> range >> type))
            continue;
        if (driverMajor == major && minorInRange(range, minor))
            return type == "serial" || type == "pty:slave";
    }
    return false;
}

bool TtyLock::acquire(const std::string &path, std::string &reason)
{
    release();
    struct stat status
    {};
    if (::stat(path.c_str(), &status) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!S_ISCHR(status.st_mode) || !isSerialDevice(major(status.st_rdev), minor(status.st_rdev))) {
        reason = notSerialDevice;
        return false;
    }

    const int descriptor = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        reason = std::strerror(errno);
        return false;
    }
    // The path may have changed between stat and open: check what was actually opened.
    struct stat opened
    {};
    if (::fstat(descriptor, &opened) != 0 || opened.st_rdev != status.st_rdev ||
        !::isatty(descriptor)) {
        ::close(descriptor);
        reason = notSerialDevice;
        return false;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        reason = errno == EWOULDBLOCK ? std::strerror(EBUSY) : std::strerror(errno);
        ::close(descriptor);
        return false;
    }
    char resolved[PATH_MAX];
    m_devicePath = ::realpath(path.c_str(), resolved) ? resolved : path;
    m_descriptor = descriptor;
    return true;
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
