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

} // namespace engine
