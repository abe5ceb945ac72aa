#include "ptyline.h"

#include "serialdevice.h"

#include "terminaltext.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

void makeRaw(int descriptor)
{
    termios settings{};
    if (::tcgetattr(descriptor, &settings) != 0)
        return;
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B19200);
    ::cfsetospeed(&settings, B19200);
    ::tcsetattr(descriptor, TCSANOW, &settings);
}

} // namespace

void PtyLine::open()
{
    if (!m_options.device.empty()) {
        // What the station refuses to open, the unit refuses too: nothing but a serial line,
        // never the system console.
        const cli::DeviceCheck check = cli::checkSerialDevice(m_options.device);
        if (check.refusal)
            fail("--device " + cli::printable(m_options.device) + ": " + cli::refusalText(check));
        m_io = ::open(m_options.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_io < 0)
            fail(cli::printable(m_options.device) + ": " + std::strerror(errno));
        struct stat opened
        {};
        if (::fstat(m_io, &opened) != 0 || opened.st_rdev != check.device || !::isatty(m_io))
            fail("--device " + cli::printable(m_options.device) + ": not a serial device");
        makeRaw(m_io);
        m_path = m_options.device;
        return;
    }
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        fail(std::string("openpty: ") + std::strerror(errno));
    // Raw from the start, so nothing the station sends is echoed back before it configures
    // the line itself.
    makeRaw(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    m_io = master;
    // Holding the slave open keeps the master from reporting a hang-up while no station has
    // the line open.
    m_slave = slave;
    m_path = name;
    if (!m_options.link.empty()) {
        const std::string &link = m_options.link;
        if (!isLinkOfOurs(link))
            fail("--link " + cli::printable(link) +
                     ": something other than a simulated unit's link is there; remove it, or "
                     "give another path",
                 fileRefused);
        // Replace the link atomically, so a station never sees it missing.
        const std::string temporary = link + ".new";
        if (::unlink(temporary.c_str()) != 0 && errno != ENOENT)
            fail("--link " + cli::printable(temporary) + ": " + std::strerror(errno));
        if (::symlink(name, temporary.c_str()) != 0)
            fail("--link " + cli::printable(temporary) + ": " + std::strerror(errno));
        if (::rename(temporary.c_str(), link.c_str()) != 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            fail("--link " + cli::printable(link) + ": " + std::strerror(error));
        }
    }
}

// A link a simulated unit made: a symbolic link of this user's to a pty. Anything else at the
// path (a file, a directory, another user's link) is not ours to replace or remove.
bool PtyLine::isLinkOfOurs(const std::string &path)
{
    struct stat status
    {};
    if (::lstat(path.c_str(), &status) != 0)
        return errno == ENOENT;
    if (!S_ISLNK(status.st_mode) || status.st_uid != ::geteuid())
        return false;
    std::error_code error;
    const auto target = std::filesystem::read_symlink(path, error);
    return !error && target.string().starts_with("/dev/pts/");
}

void PtyLine::close(bool removeLink)
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_io >= 0)
        ::close(m_io);
    m_slave = m_io = -1;
    // Only while it still leads to this unit's pty: the path may have been taken over since.
    std::error_code error;
    if (removeLink && !m_options.link.empty() && !m_path.empty() &&
        std::filesystem::read_symlink(m_options.link, error) == m_path && !error)
        ::unlink(m_options.link.c_str());
}

} // namespace sim
