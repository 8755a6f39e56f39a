#pragma once

#include "engine/clock.h"
#include "engine/server_time.h"
#include "engine/timing.h"

#include <memory>

class QInputEvent;
class QWidget;

namespace ui {

// The window system's side of timing: when a painted frame has reached it, and when an input event
// happened. One implementation per platform (window_system_clock_posix.cpp, window_system_clock_win.cpp):
//
// - X11: the server stamps the frame itself. A DAMAGE notification for the window, on a connection
//   of our own, carries the server's time of the very drawing request; the server's time asked on
//   Qt's connection after the flush (the SYNC extension's SERVERTIME counter) is answered only once
//   that drawing is done, so it confirms the frame and is the stamp when no notification comes. The
//   server's clock is our monotonic clock in milliseconds; each answer checks that relation (see
//   engine::ServerTimeRelation). Input events carry the server's stamp of the same clock.
// - Windows: the frame is flushed (GdiFlush, and DwmFlush where the desktop is composed), then our
//   clock is read; input is stamped on arrival.
// - Anything else (Wayland, offscreen): our clock after the paint; input stamped on arrival.
class WindowSystemClock
{
public:
    explicit WindowSystemClock(engine::Clock& clock)
        : m_clock(clock)
    { }
    virtual ~WindowSystemClock() = default;
    WindowSystemClock(const WindowSystemClock&) = delete;
    WindowSystemClock& operator=(const WindowSystemClock&) = delete;

    // Call right before an immediate paint of `window` that frameOut() is to stamp, and once early (the
    // first call may take a while): forgets what the window system reported of earlier drawing.
    virtual void beforeFrame(QWidget& /*window*/) { }
    // Call now and then while waiting for the moment of a frame: keeps the window system awake, so that
    // the frame is not held up by its waking (a no-op where that is not needed).
    virtual void keepAwake() { }
    // Call right after an immediate paint of `window` (a top-level widget): pushes it to the window
    // system, waits until the window system has it, and returns that moment on our clock with the way
    // it was taken.
    virtual engine::FrameStamp frameOut(QWidget& window) = 0;
    // Checks now whether input events' timestamps are on our clock. False where they cannot be.
    virtual bool checkInputClock() = 0;

    // The time of an input event that reached the program at `arrival` (our clock).
    engine::ResponseStamp stampInput(const QInputEvent& event, engine::Microseconds arrival,
                                     engine::InputKind input) const;
    // True while input events' timestamps are taken as they are.
    bool inputClockHolds() const { return m_relation.holds(); }
    engine::Clock& clock() const { return m_clock; }

protected:
    engine::Clock& m_clock;
    engine::ServerTimeRelation m_relation;
};

// The clock of the window system the application runs on, timing with `clock` (which must outlive it).
// Needs the QGuiApplication.
std::unique_ptr<WindowSystemClock> makeWindowSystemClock(engine::Clock& clock);

} // namespace ui
