#include "clock.h"

#include <windows.h>

namespace engine {

// The performance counter, not GetTickCount: the latter advances in steps of the timer interrupt
// (typically 15.6 ms), far coarser than a millisecond.
Microseconds SystemClock::now()
{
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    // Split into whole seconds and the rest, so that the multiplication cannot overflow.
    const LONGLONG seconds = counter.QuadPart / frequency;
    const LONGLONG rest = counter.QuadPart % frequency;
    return static_cast<Microseconds>(seconds * 1000000 + rest * 1000000 / frequency);
}

void SystemClock::waitUntil(Microseconds when)
{
    // Sleep() rounds up to the timer interrupt (1 to 15.6 ms); the last 16 ms are spent watching the
    // clock, yielding the processor meanwhile.
    constexpr Microseconds kWatched = 16000;
    while (now() < when - kWatched) {
        Sleep(1);
    }
    while (now() < when) {
        SwitchToThread();
    }
}

} // namespace engine
