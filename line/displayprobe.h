#pragma once

// Whether a window can be shown at all. Qt aborts the program, with a core dump, when its
// platform cannot connect to the display named (a stale forwarded display over SSH); the probe
// connects in a child process first, so that the program can say so and exit with its status.

#include <optional>
#include <string>

namespace line {

// Why no window can be shown; none when one can. `argv`: Qt's own options, such as -platform.
std::optional<std::string> displayProblem(int argc, char **argv);

} // namespace line
