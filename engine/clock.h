#pragma once

#include <cstdint>

namespace engine {

// A point in time on the station's monotonic clock, in microseconds since an arbitrary origin (the
// system's start). Differences of two readings are durations; the count does not wrap in practice.
using Microseconds = std::int64_t;

// The clock the trial machine times with: monotonic, not affected by changes of the wall-clock time,
// read at a resolution of a microsecond or as fine as the system offers.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual Microseconds now() = 0;
    // Returns at `when` (at once when that has passed), as close to it as the system allows: sleeps
    // while there is time, then watches the clock for the last stretch, which a sleep would overshoot.
    virtual void waitUntil(Microseconds when) = 0;
};

// The system's monotonic clock (CLOCK_MONOTONIC, or the performance counter on Windows).
class SystemClock : public Clock
{
public:
    Microseconds now() override;
    void waitUntil(Microseconds when) override;
};

} // namespace engine
