#include "ui/qt_foreperiod_timer.h"

#include <algorithm>

namespace ui {

QtForeperiodTimer::QtForeperiodTimer(QObject* parent)
    : QObject(parent)
{
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &QtForeperiodTimer::elapsed);
}

void QtForeperiodTimer::start(std::uint32_t intervalMs)
{
    // The engine bounds foreperiods to what the timer's signed 32-bit millisecond interval holds.
    m_timer.start(static_cast<int>(std::min(intervalMs, engine::kMaxForeperiodMilliseconds)));
}

void QtForeperiodTimer::stop()
{
    m_timer.stop();
}

bool QtForeperiodTimer::isActive() const
{
    return m_timer.isActive();
}

} // namespace ui
