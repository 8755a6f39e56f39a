#include "clock.h"

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

} // namespace engine
