#include "timing.h"

namespace engine {

std::int64_t roundToMilliseconds(Microseconds duration)
{
    return duration >= 0 ? (duration + 500) / 1000 : -((-duration + 500) / 1000);
}

} // namespace engine
