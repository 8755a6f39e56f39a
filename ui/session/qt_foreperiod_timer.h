#pragma once

#include "engine/clock.h"
#include "engine/trial_machine.h"

#include <deque>
#include <functional>

#include <QObject>
#include <QTimer>

namespace ui {

// Timer1: the engine's foreperiod timer. A precise one-shot Qt timer (Qt's default timers may fire up
// to 5 % early or late, which would be seconds off in a long foreperiod) is set to fire a little
// early; the rest is waited out on the clock, so that an event loop a few milliseconds late does not
// make the foreperiod longer. It fires early by the time the display needs to get a frame out (the
// middle of the last few), so that the stimulus is out when the foreperiod ends. An interval of 0 fires
// as soon as the event loop is free.
class QtForeperiodTimer : public QObject, public engine::ForeperiodTimer
{
    Q_OBJECT

public:
    // `clock` must outlive the timer.
    explicit QtForeperiodTimer(engine::Clock& clock, QObject* parent = nullptr);

    void start(std::uint32_t intervalMs, engine::Microseconds from) override;
    void stop() override;
    bool isActive() const override;

    // How much earlier than the end the Qt timer fires. While it waits out the rest, the program takes
    // no input; a press in that time is handled after the onset, so this stays short unless presses
    // carry their own time (see WindowSystemClock).
    void setLeadMs(int leadMs) { m_leadMs = leadMs; }
    // What the display does to get ready for a frame (round trips to the window system), run when the
    // Qt timer fires, before the rest is waited out: its time, which varies with the window system's
    // scheduling, is then not part of the foreperiod.
    // `keepAwake` is called every fraction of a millisecond in the last moments of the wait (see
    // WindowSystemClock::keepAwake).
    void setPrepareFrame(std::function<void()> prepare, std::function<void()> keepAwake = {})
    {
        m_prepareFrame = std::move(prepare);
        m_keepAwake = std::move(keepAwake);
    }
    // One measurement of the time from elapsed() to the frame being out.
    void addOutputLatency(engine::Microseconds latency);

signals:
    // The foreperiod has elapsed (Timer1Timer).
    void elapsed();

private:
    void qtTimerFired();
    // The median of the recent output latencies, within sane bounds.
    engine::Microseconds outputLatency() const;

    engine::Clock& m_clock;
    QTimer m_timer;
    engine::Microseconds m_end = 0;
    int m_leadMs = 3;
    std::deque<engine::Microseconds> m_latencies;
    std::function<void()> m_prepareFrame;
    std::function<void()> m_keepAwake;
};

} // namespace ui
