#include "ui/qt_foreperiod_timer.h"

#include <algorithm>

namespace ui {

namespace {

constexpr std::size_t kLatenciesKept = 5;
// A frame that took longer than this is an outlier, not something to aim for.
constexpr engine::Microseconds kMaxLatencyAimed = 8000;

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

void QtForeperiodTimer::start(std::uint32_t intervalMs)
{
    // The engine bounds foreperiods to what the timer's signed 32-bit millisecond interval holds.
    const int interval = static_cast<int>(std::min(intervalMs, engine::kMaxForeperiodMilliseconds));
    m_end = m_clock.now() + engine::Microseconds {interval} * 1000;
    m_timer.start(interval > m_leadMs ? interval - m_leadMs : interval);
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
    // The shortest: a frame slowed down by the system's other work says nothing about the next one, and
    // aiming too early would shorten the foreperiod.
    const engine::Microseconds shortest = *std::min_element(m_latencies.begin(), m_latencies.end());
    return std::clamp<engine::Microseconds>(shortest, 0, kMaxLatencyAimed);
}

void QtForeperiodTimer::qtTimerFired()
{
    m_clock.waitUntil(m_end - outputLatency());
    emit elapsed();
}

} // namespace ui
