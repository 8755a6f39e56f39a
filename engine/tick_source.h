#pragma once

#include <cstdint>

namespace engine {

// The millisecond tick counter the trial machine times with: a monotonic count of whole milliseconds
// that wraps at 2^32. Reaction times are differences of two readings in unsigned 32-bit arithmetic,
// which stays right across the wrap.
class TickSource
{
public:
    virtual ~TickSource() = default;
    virtual std::uint32_t now() = 0;
};

// The system's monotonic clock, read at a resolution of one millisecond or finer, truncated to whole
// milliseconds. Not affected by changes of the wall-clock time.
class SystemTickSource : public TickSource
{
public:
    std::uint32_t now() override;
};

} // namespace engine
