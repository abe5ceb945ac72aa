#pragma once

// What a path to a device is, decided without opening it: the station and the simulated unit
// open nothing but a serial line, and never the system console.

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace cli {

// True when the character device major:minor is a serial line: a device of the kernel's tty
// class other than the virtual consoles, /dev/tty, /dev/console and /dev/ptmx, or a
// pseudo-terminal slave. Decided from sysfs, without opening anything.
bool isSerialDevice(unsigned major, unsigned minor);

// True when `consoles`, in the form of /proc/consoles, lists the device major:minor.
bool isConsoleDevice(unsigned major, unsigned minor, std::string_view consoles);

enum class DeviceRefusal { NotFound, NotSerialDevice, SystemConsole };

// Why `path` must not be opened as a serial line, with the system's reason when it cannot be
// looked at; nothing when it may be opened.
struct DeviceCheck
{
    std::optional<DeviceRefusal> refusal;
    int error = 0;    // errno, for NotFound
    dev_t device = 0; // the device checked: what is opened afterwards must be this one
};
DeviceCheck checkSerialDevice(const std::string &path);

// "not a serial device", "the system console" or the system's reason.
std::string refusalText(const DeviceCheck &check);

} // namespace cli
