#include "linespeed.h"

// termios2 carries the speed as a number whichever way it was set; its header cannot stand beside
// <termios.h>, so this file has it alone.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim {

int lineSpeedBitsPerSecond(int descriptor)
{
    termios2 settings{};
    if (::ioctl(descriptor, TCGETS2, &settings) != 0)
        return 0;
    return static_cast<int>(settings.c_ospeed);
}

} // namespace sim
