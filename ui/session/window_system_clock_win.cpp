#include "ui/session/window_system_clock.h"

#include <dwmapi.h>
#include <windows.h>

namespace ui {

namespace {

// Windows: the paint is flushed out of the GDI batch; where the desktop is composed, DwmFlush waits
// until the compositor has taken the frame. Input events carry GetMessageTime(), a tick count of
// 10 to 16 ms resolution, so input is stamped on arrival.
class WindowsClock final : public WindowSystemClock
{
public:
    using WindowSystemClock::WindowSystemClock;

    engine::FrameStamp frameOut(QWidget& /*window*/) override
    {
        GdiFlush();
        BOOL composed = FALSE;
        if (SUCCEEDED(DwmIsCompositionEnabled(&composed)) && composed) {
            DwmFlush();
        }
        return {m_clock.now(), engine::FrameSource::Flush};
    }

    bool checkInputClock() override { return false; }
};

} // namespace

std::unique_ptr<WindowSystemClock> makeWindowSystemClock(engine::Clock& clock)
{
    return std::make_unique<WindowsClock>(clock);
}

} // namespace ui
