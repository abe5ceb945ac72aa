#pragma once

// converter-check's command line.

#include "runoptions.h"

#include <string>
#include <vector>

namespace check {

// converter-check is the run engine from the command line: its names are this program's own.
using namespace engine;

// The run's options, and converter-check's own.
struct Options : RunOptions
{
    std::vector<std::string> ports;
    std::vector<std::string> unitIds;   // one for each port, empty where none was given
    std::vector<std::string> slotNames; // one for each port: its fixture slot, empty where none
    std::string junit;
    bool untilReply = false;
    bool json = false;
    bool quiet = false;
    std::string record;
    bool help = false;
    bool version = false;
};

using UsageError = cli::UsageError;

// Throws UsageError with a message naming what is wrong.
Options parseOptions(int argc, const char *const *argv);

extern const char *const usageText;

} // namespace check
