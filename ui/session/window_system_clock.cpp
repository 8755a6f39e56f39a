#include "ui/session/window_system_clock.h"

#include <QInputEvent>

namespace ui {

engine::ResponseStamp WindowSystemClock::stampInput(const QInputEvent& event, engine::Microseconds arrival,
                                                    engine::InputKind input) const
{
    // Only the X server's stamps are checked against our clock; elsewhere the relation never holds.
    // X11 timestamps are 32-bit milliseconds.
    return engine::stampResponse(static_cast<std::uint32_t>(event.timestamp()), arrival, input, m_relation);
}

} // namespace ui
