#pragma once

namespace cli {

// Ctrl+C, SIGTERM and SIGHUP as events: blocked (call it before any thread starts, so that they
// stay blocked in every thread) and read from the returned signalfd, so that a program closes its
// ports and files its reports before it ends. -1 when no descriptor could be made.
int quitSignalDescriptor();

} // namespace cli
