#pragma once

namespace sim {

// The speed the line is set to, in bits per second, however the station set it: by a speed
// constant, or as a number (BOTHER), as some serial libraries do; 0 when it cannot be read.
int lineSpeedBitsPerSecond(int descriptor);

} // namespace sim
