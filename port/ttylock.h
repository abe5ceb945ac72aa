#pragma once

#include "portcontroller.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace port {

// A descriptor on a serial device that this process holds exclusively: an flock(LOCK_EX) on the
// open file, which holds against root as well, and TIOCEXCL on top (refuseOtherOpens) for
// programs that do not flock. What the path names is checked before anything is opened, so
// nothing but a serial line is ever opened: not a regular file, a FIFO or /dev/null, and no
// device whose opening has effects of its own, such as a watchdog.
class TtyLock
{
public:
    TtyLock() = default;
    ~TtyLock() { release(); }
    TtyLock(const TtyLock &) = delete;
    TtyLock &operator=(const TtyLock &) = delete;

    station::PortResult acquire(const std::string &path);
    void refuseOtherOpens();
    void release();
    // The device the lock holds, with symlinks resolved.
    const std::string &devicePath() const { return m_devicePath; }

private:
    int m_descriptor = -1;
    std::string m_devicePath;
};

// "held by minicom, process 1234" for the programs that have `devicePath` open, as far as the
// system lets this process see; empty when it sees none.
std::string deviceHolders(const std::string &devicePath);
// The same programs, each as its name and process id.
std::vector<std::pair<std::string, std::string>> deviceHolderList(const std::string &devicePath);

} // namespace port
