#pragma once

#include "form1.h"

#include <functional>

namespace ui {

// Runs the station in the QApplication the caller made: start-up, the window until it closes, and
// an orderly quit on SIGTERM, SIGINT, SIGHUP or a lost display. Returns the exit status.
// `shown` runs once the window is on screen; tests drive the window from there.
int runStation(const std::function<void(Form1 &)> &shown = {});

} // namespace ui
