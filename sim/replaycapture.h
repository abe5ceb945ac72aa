#pragma once

#include "capturefile.h"

#include <csignal>
#include <string>
#include <vector>

namespace sim {

// The exchanges of a capture for --replay, read as a stream with the replay's bound; exits with a
// message when the file cannot be replayed, and at once when `stop` is set meanwhile.
std::vector<capture::Exchange> loadReplay(const std::string &path,
                                          const volatile std::sig_atomic_t &stop);

} // namespace sim
