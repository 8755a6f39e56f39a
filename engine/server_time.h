#pragma once

#include "clock.h"
#include "timing.h"

#include <cstdint>
#include <optional>

namespace engine {

// The relation between a window system's clock and ours. An X server stamps input events and answers
// time queries in milliseconds of the system's monotonic clock, cut to 32 bits: the same clock as
// SystemClock, only coarser. Where that holds, an input event's own timestamp is the true moment of
// the input, however late the program gets to the event. A server on another machine, or one that
// counts from another origin, breaks the relation; then events are stamped when they arrive.
//
// The relation is checked by bracketing: read our clock, ask the server for its time, read our clock
// again. On one clock the server's millisecond lies inside the bracket (less the millisecond it was
// cut to, and one more for a server that reads the coarse variant of the clock). Every check can only
// break the relation, never mend it: a clock that was off once is not trusted again in the same run.
class ServerTimeRelation
{
public:
    // One observation. Returns whether it agrees with the relation; holds() is false from the first
    // disagreement on.
    bool observe(Microseconds before, std::uint32_t serverMs, Microseconds after);
    // True until an observation disagreed, and only once one agreed.
    bool holds() const { return m_observed && !m_broken; }
    bool broken() const { return m_broken; }

    // The server's millisecond `serverMs` on our clock: the middle of that millisecond, on the turn of
    // the 32-bit count nearest to `near` (a reading of our clock within 24 days of it).
    static Microseconds toLocal(std::uint32_t serverMs, Microseconds near);

private:
    bool m_observed = false;
    bool m_broken = false;
};

// The time of a response: the input event's own timestamp (`eventMs`, the server's milliseconds) when
// the relation holds and the stamp is plausible (not after the arrival, not older than a minute),
// otherwise `arrival`, the reading of our clock when the event reached the program.
ResponseStamp stampResponse(std::optional<std::uint32_t> eventMs, Microseconds arrival, InputKind input,
                            const ServerTimeRelation& relation);

} // namespace engine
