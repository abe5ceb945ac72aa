#pragma once

#include <string>
#include <vector>

namespace port {

// A serial device present on the machine, as the port box offers it.
struct PortEntry
{
    std::string name; // its stable /dev/serial/by-id/... name where it has one, else its path
    std::string description;    // maker, product and serial number, as far as the device tells them
    bool systemConsole = false; // the kernel's console runs on it: offered, but never opened
};

// Every serial device present now, USB adapters included, without opening any of them.
std::vector<PortEntry> presentPorts();

} // namespace port
