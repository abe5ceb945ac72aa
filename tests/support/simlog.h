#pragma once

// What converter-sim --log says: when each poll reached the simulated unit.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace support {

// The times of the "poll N T" lines, in milliseconds, in order.
inline std::vector<double> pollTimesMs(const std::string &logPath)
{
    std::ifstream log(logPath);
    std::vector<double> times;
    for (std::string line; std::getline(log, line);) {
        std::istringstream fields(line);
        std::string word;
        int number = 0;
        double seconds = 0;
        if (fields >> word >> number >> seconds && word == "poll")
            times.push_back(seconds * 1000);
    }
    return times;
}

} // namespace support
