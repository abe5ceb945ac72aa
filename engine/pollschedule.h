#pragma once

// When each poll of a run is due. Polls keep to absolute deadlines 500 ms apart, so a timer's
// small delays do not add up; a tick that comes late moves the schedule on from itself rather
// than catching up, so one slip makes one long period, never a long one and a short one.

#include "stationwindow.h"

#include <chrono>

namespace engine {

class PollSchedule
{
public:
    using Clock = std::chrono::steady_clock;

    // The first tick is due at once.
    explicit PollSchedule(Clock::time_point start) : m_due(start) {}

    // The tick due came at `now`: when the next one is due.
    Clock::time_point next(Clock::time_point now)
    {
        // A timer fires a little after its time; more than this is a slip.
        constexpr auto slip = std::chrono::milliseconds(2);
        m_due = (now > m_due + slip ? now : m_due) + station::pollPeriod;
        return m_due;
    }
    // How long a timer waits from `now` for the tick due next, rounded up to whole milliseconds.
    static std::chrono::milliseconds wait(Clock::time_point now, Clock::time_point due)
    {
        return due > now ? std::chrono::ceil<std::chrono::milliseconds>(due - now)
                         : std::chrono::milliseconds(0);
    }

private:
    Clock::time_point m_due;
};

} // namespace engine
