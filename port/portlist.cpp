#include "portlist.h"

#include <QSerialPortInfo>

#include "serialdevice.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace port {

namespace {

// udev names each USB serial device under /dev/serial/by-id after its maker, product and serial
// number; the name stays the same whichever ttyUSBn the adapter gets after a replug.
std::map<std::string, std::string> stableNames()
{
    std::map<std::string, std::string> byDevice;
    std::error_code error;
    for (const auto &link : std::filesystem::directory_iterator("/dev/serial/by-id", error)) {
        std::error_code ignored;
        const auto device = std::filesystem::canonical(link.path(), ignored);
        if (!ignored)
            byDevice.emplace(device.string(), link.path().string());
    }
    return byDevice;
}

} // namespace

std::vector<PortEntry> presentPorts()
{
    const auto stable = stableNames();
    std::string consoles;
    std::getline(std::ifstream("/proc/consoles"), consoles, '\0');
    std::vector<PortEntry> entries;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        const std::string device = info.systemLocation().toStdString();
        const auto named = stable.find(device);
        QStringList parts;
        for (const QString &part : {info.manufacturer(), info.description(), info.serialNumber()}) {
            if (!part.isEmpty() && !parts.contains(part))
                parts.append(part);
        }
        struct stat status = {};
        const bool console =
            ::stat(device.c_str(), &status) == 0 &&
            cli::isConsoleDevice(major(status.st_rdev), minor(status.st_rdev), consoles);
        entries.push_back({named == stable.end() ? device : named->second,
                           parts.join(QStringLiteral(", ")).toStdString(), console});
    }
    return entries;
}

} // namespace port
