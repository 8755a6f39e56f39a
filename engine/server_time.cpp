#include "server_time.h"

namespace engine {

namespace {

// A server that reads the coarse monotonic clock (used where its resolution is a millisecond) lags
// the fine one by up to one tick.
constexpr Microseconds kCoarseLag = 1000;
// Our reading is taken a little after the server's; a small allowance for the two reads.
constexpr Microseconds kReadSlack = 200;
// An input event older than this on arrival is not believed: no event loop is that late.
constexpr Microseconds kOldestEvent = 60 * 1000000;

} // namespace

bool ServerTimeRelation::observe(Microseconds before, std::uint32_t serverMs, Microseconds after)
{
    const Microseconds start = toLocal(serverMs, after) - 500; // the server's millisecond begins
    const bool agrees = start <= after + kReadSlack && start + 1000 + kCoarseLag >= before;
    m_observed = true;
    if (!agrees) {
        m_broken = true;
    }
    return agrees;
}

Microseconds ServerTimeRelation::toLocal(std::uint32_t serverMs, Microseconds near)
{
    const Microseconds nearMs = near >= 0 ? near / 1000 : (near - 999) / 1000;
    // The signed 32-bit distance picks the turn of the count nearest to `near`.
    const auto distance = static_cast<std::int32_t>(serverMs - static_cast<std::uint32_t>(nearMs));
    return (nearMs + distance) * 1000 + 500;
}

ResponseStamp stampResponse(std::optional<std::uint32_t> eventMs, Microseconds arrival, InputKind input,
                            const ServerTimeRelation& relation)
{
    if (eventMs && relation.holds()) {
        const Microseconds time = ServerTimeRelation::toLocal(*eventMs, arrival);
        // The event's millisecond must have begun by the time it arrived.
        if (time - 500 <= arrival + kReadSlack && time >= arrival - kOldestEvent) {
            return {time, ResponseSource::Event, input};
        }
    }
    return {arrival, ResponseSource::Arrival, input};
}

} // namespace engine
