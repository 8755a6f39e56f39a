#include "tick_source.h"

#include <ctime>

namespace engine {

std::uint32_t SystemTickSource::now()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto milliseconds
        = static_cast<std::uint64_t>(ts.tv_sec) * 1000U + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000U;
    return static_cast<std::uint32_t>(milliseconds);
}

} // namespace engine
