#include "clock.h"

#include <cerrno>
#include <ctime>

namespace engine {

// CLOCK_MONOTONIC, not its coarse variant: the coarse clock advances only with the timer interrupt
// (every 1 to 10 ms, 4 ms on common kernels). The X server reads the same clock in milliseconds, which
// is what lets input events' own timestamps be used (see server_time.h).
Microseconds SystemClock::now()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<Microseconds>(ts.tv_sec) * 1000000 + static_cast<Microseconds>(ts.tv_nsec / 1000);
}

void SystemClock::waitUntil(Microseconds when)
{
    // A sleeping thread wakes up to some 100 us late on an idle system and later on a busy one, and on
    // a virtual machine a processor that went idle may be woken milliseconds late. The last 30 ms (the
    // foreperiod timer's whole lead) are therefore spent watching the clock, so that nothing has to
    // wake up before the end.
    constexpr Microseconds kWatched = 30000;
    const Microseconds wake = when - kWatched;
    if (wake > now()) {
        timespec until {};
        until.tv_sec = static_cast<time_t>(wake / 1000000);
        until.tv_nsec = static_cast<long>(wake % 1000000) * 1000;
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) { }
    }
    while (now() < when) { }
}

} // namespace engine
