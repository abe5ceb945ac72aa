#include "serialdevice.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace cli {

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
    // Each line: the name, its flags, then MAJOR:MINOR as the last word. Read without streams:
    // this runs when descriptors may have run out.
    const std::string wanted = std::to_string(major) + ":" + std::to_string(minor);
    while (!consoles.empty()) {
        std::string_view line = consoles.substr(0, consoles.find('\n'));
        consoles.remove_prefix(std::min(consoles.size(), line.size() + 1));
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.remove_suffix(1);
        const std::size_t blank = line.find_last_of(" \t");
        if (line.substr(blank == std::string_view::npos ? 0 : blank + 1) == wanted)
            return true;
    }
    return false;
}

DeviceCheck checkSerialDevice(const std::string &path)
{
    struct stat status
    {};
    if (::stat(path.c_str(), &status) != 0)
        return {DeviceRefusal::NotFound, errno, 0};
    if (!S_ISCHR(status.st_mode) || !isSerialDevice(major(status.st_rdev), minor(status.st_rdev)))
        return {DeviceRefusal::NotSerialDevice, 0, status.st_rdev};
    // Out of descriptors, the console list cannot be read: say so rather than let the console
    // through. A system without the list has no console to protect.
    const int list = ::open("/proc/consoles", O_RDONLY | O_CLOEXEC);
    if (list < 0 && (errno == EMFILE || errno == ENFILE))
        return {DeviceRefusal::NotFound, errno, status.st_rdev};
    std::string consoles;
    char chunk[4096];
    for (ssize_t got; list >= 0 && (got = ::read(list, chunk, sizeof chunk)) > 0;)
        consoles.append(chunk, static_cast<std::size_t>(got));
    if (list >= 0)
        ::close(list);
    if (isConsoleDevice(major(status.st_rdev), minor(status.st_rdev), consoles))
        return {DeviceRefusal::SystemConsole, 0, status.st_rdev};
    return {std::nullopt, 0, status.st_rdev};
}

std::string refusalText(const DeviceCheck &check)
{
    if (!check.refusal)
        return {};
    switch (*check.refusal) {
    case DeviceRefusal::NotFound:
        return std::strerror(check.error);
    case DeviceRefusal::NotSerialDevice:
        return "not a serial device";
    case DeviceRefusal::SystemConsole:
        return "the system console";
    }
    return {};
}

} // namespace cli
