#pragma once

#include <string>

namespace port {

// A descriptor on a serial device that this process holds exclusively: an flock(LOCK_EX) on the
// open file, which holds against root as well, and TIOCEXCL on top (refuseOtherOpens) for
// programs that do not flock. Opening checks first that the path is a serial or pseudo-terminal
// device, so nothing else (a regular file, a FIFO, /dev/null, /dev/ptmx) is ever opened for
// writing.
class TtyLock
{
public:
    TtyLock() = default;
    ~TtyLock() { release(); }
    TtyLock(const TtyLock &) = delete;
    TtyLock &operator=(const TtyLock &) = delete;

    // On failure returns false and sets `reason` to a short human text from the OS.
    bool acquire(const std::string &path, std::string &reason);
    void refuseOtherOpens();
    void release();
    // The device the lock holds, with symlinks resolved.
    const std::string &devicePath() const { return m_devicePath; }

private:
    int m_descriptor = -1;
    std::string m_devicePath;
};

// True when the character device major:minor belongs to a serial or pty-slave tty driver.
bool isSerialDevice(unsigned major, unsigned minor);

} // namespace port
