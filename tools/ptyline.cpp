#include "ptyline.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
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
        m_io = ::open(m_options.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_io < 0)
            fail(m_options.device + ": " + std::strerror(errno));
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
        // Replace the link atomically, so a station never sees it missing.
        const std::string temporary = m_options.link + ".new";
        std::filesystem::remove(temporary);
        if (::symlink(name, temporary.c_str()) != 0 ||
            ::rename(temporary.c_str(), m_options.link.c_str()) != 0)
            fail(m_options.link + ": " + std::strerror(errno));
    }
}

void PtyLine::close(bool removeLink)
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_io >= 0)
        ::close(m_io);
    m_slave = m_io = -1;
    if (removeLink && !m_options.link.empty())
        ::unlink(m_options.link.c_str());
}

} // namespace sim
