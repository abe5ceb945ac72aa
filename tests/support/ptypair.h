#pragma once

// A real pseudo-terminal pair for serial tests: the test drives the master side, the code under
// test opens the slave by its path, as it would a USB adapter.

#include <QByteArray>
#include <QTest>

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace support {

class PtyPair
{
public:
    PtyPair()
    {
        char name[256] = {};
        termios raw{};
        ::cfmakeraw(&raw);
        if (::openpty(&m_master, &m_slave, name, &raw, nullptr) == 0)
            m_path = name;
        // The slave stays open here until the code under test has opened it: a master whose
        // slave is not open reports a hang-up.
    }
    ~PtyPair() { closeAll(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    const std::string &path() const { return m_path; }

    // The line speed the device is set to, as the kernel holds it (the slave side's settings).
    speed_t speed() const
    {
        termios settings{};
        return ::tcgetattr(m_slave, &settings) == 0 ? ::cfgetospeed(&settings) : B0;
    }

    // What the far end does when its cable is pulled.
    void hangUp() { closeAll(); }

    void write(const std::vector<std::uint8_t> &bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                return;
            done += static_cast<std::size_t>(n);
        }
    }

    // Reads what the station sent, waiting up to `timeoutMs` for `count` bytes.
    std::vector<std::uint8_t> read(std::size_t count, int timeoutMs = 2000)
    {
        std::vector<std::uint8_t> bytes;
        QElapsedTimer clock;
        clock.start();
        while (bytes.size() < count && clock.elapsed() < timeoutMs) {
            pollfd watch{m_master, POLLIN, 0};
            if (::poll(&watch, 1, 10) > 0 && (watch.revents & POLLIN)) {
                std::uint8_t chunk[256];
                const ssize_t n = ::read(m_master, chunk, sizeof chunk);
                if (n > 0)
                    bytes.insert(bytes.end(), chunk, chunk + n);
            }
            QCoreApplication::processEvents();
        }
        return bytes;
    }

private:
    void closeAll()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        if (m_master >= 0)
            ::close(m_master);
        m_slave = m_master = -1;
    }

    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

} // namespace support
