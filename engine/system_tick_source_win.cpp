#include "tick_source.h"

#include <windows.h>

namespace engine {

// The performance counter, not GetTickCount: the latter advances in steps of the timer interrupt
// (typically 15.6 ms), far coarser than a millisecond.
std::uint32_t SystemTickSource::now()
{
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<unsigned long long>(counter.QuadPart);
    const auto perSecond = static_cast<unsigned long long>(frequency);
    const unsigned long long milliseconds = (ticks / perSecond) * 1000ULL + (ticks % perSecond) * 1000ULL / perSecond;
    return static_cast<std::uint32_t>(milliseconds);
}

} // namespace engine
