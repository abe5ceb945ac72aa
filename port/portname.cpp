#include "portname.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace port {

namespace {

bool startsWithCom(std::string_view name)
{
    return name.size() > 3 && (name[0] == 'C' || name[0] == 'c') &&
           (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm') &&
           name[3] >= '0' && name[3] <= '9';
}

} // namespace

std::variant<DevicePath, NameRefused> devicePathForPortName(std::string_view name)
{
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return NameRefused{"the port name holds a control character"};

    while (!name.empty() && name.front() == ' ')
        name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    if (name.empty())
        return NameRefused{"no port name given"};
    if (name.size() >= PATH_MAX)
        return NameRefused{"the port name is too long"};

    if (startsWithCom(name)) {
        const auto digits = name.substr(3);
        const bool allDigits =
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        const bool inRange = allDigits && digits.size() <= 3 && digits.front() != '0' &&
                             std::stoi(std::string(digits)) <= 256;
        if (!inRange)
            return NameRefused{"no such port: COM ports run from COM1 to COM256"};
        return DevicePath{"/dev/ttyS" + std::to_string(std::stoi(std::string(digits)) - 1)};
    }
    if (name.front() == '/')
        return DevicePath{std::string(name)};
    if (name.find('/') != std::string_view::npos || name == "." || name == "..")
        return NameRefused{"not a device: give a device name such as ttyUSB0, or a full path"};
    return DevicePath{"/dev/" + std::string(name)};
}

} // namespace port
