#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace port {

struct DevicePath
{
    std::string path;
};
struct NameRefused
{
    std::string reason;
};

// Maps what the operator typed into "Comm Port" to a device path:
//   "COM1" ... "COM256", any letter case  -> /dev/ttyS0 ... /dev/ttyS255
//   a bare device name ("ttyUSB0")        -> /dev/ttyUSB0
//   an absolute path                      -> used as given (symlinks included)
// Blanks around the name are ignored. Relative paths, control characters, names longer than a
// path can be and COM numbers outside 1-256 are refused.
std::variant<DevicePath, NameRefused> devicePathForPortName(std::string_view name);

} // namespace port
