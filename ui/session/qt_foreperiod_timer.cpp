#include "ui/session/qt_foreperiod_timer.h"

#include <algorithm>
#include <vector>

namespace ui {

namespace {

constexpr std::size_t kLatenciesKept = 5;
// A frame that took longer than this is an outlier, not something to aim for.
constexpr engine::Microseconds kMaxLatencyAimed = 8000;
// The last part of the wait in which the window system is kept awake, and how often it is nudged.
constexpr engine::Microseconds kKeptAwake = 2000;
constexpr engine::Microseconds kKeepAwakeEvery = 100;

} // namespace

QtForeperiodTimer::QtForeperiodTimer(engine::Clock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_timer(this)
{
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &QtForeperiodTimer::qtTimerFired);
}

void QtForeperiodTimer::start(std::uint32_t intervalMs, engine::Microseconds from)
{
    // The engine bounds foreperiods to what the timer's signed 32-bit millisecond interval holds.
    const std::uint32_t interval = std::min(intervalMs, engine::kMaxForeperiodMilliseconds);
    m_end = from + engine::Microseconds {interval} * 1000;
    // The Qt timer counts from now; what has passed since `from` is taken off (whole milliseconds
    // down, the rest is waited out on the clock).
    const engine::Microseconds untilEnd = std::max<engine::Microseconds>(m_end - m_clock.now(), 0);
    const auto untilEndMs = static_cast<int>(untilEnd / 1000);
    m_timer.start(untilEndMs > m_leadMs ? untilEndMs - m_leadMs : untilEndMs);
}

void QtForeperiodTimer::stop()
{
    m_timer.stop();
}

bool QtForeperiodTimer::isActive() const
{
    return m_timer.isActive();
}

void QtForeperiodTimer::addOutputLatency(engine::Microseconds latency)
{
    m_latencies.push_back(latency);
    if (m_latencies.size() > kLatenciesKept) {
        m_latencies.pop_front();
    }
}

engine::Microseconds QtForeperiodTimer::outputLatency() const
{
    if (m_latencies.empty()) {
        return 0;
    }
    // The median: one frame slowed down by the system's other work says nothing about the next one, and
    // aiming at the quickest frame would make the foreperiod a little long every time.
    std::vector<engine::Microseconds> sorted(m_latencies.begin(), m_latencies.end());
    const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
    std::nth_element(sorted.begin(), middle, sorted.end());
    return std::clamp<engine::Microseconds>(*middle, 0, kMaxLatencyAimed);
}

void QtForeperiodTimer::qtTimerFired()
{
    if (m_prepareFrame) {
        m_prepareFrame();
    }
    const engine::Microseconds target = m_end - outputLatency();
    if (m_keepAwake) {
        m_clock.waitUntil(target - kKeptAwake);
        for (engine::Microseconds now = m_clock.now(); now < target; now = m_clock.now()) {
            m_keepAwake();
            m_clock.waitUntil(std::min(now + kKeepAwakeEvery, target));
        }
    }
    m_clock.waitUntil(target);
    emit elapsed();
}

} // namespace ui
