#pragma once

#include <ctime>

// Seconds on CLOCK_MONOTONIC: the one clock that the simulated unit's log and the benchmarks that
// read it share.
inline double monotonicSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}
