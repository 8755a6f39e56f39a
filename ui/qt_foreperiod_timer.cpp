#include "ui/qt_foreperiod_timer.h"

#include <limits>

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
    // The engine bounds foreperiods to what a signed 32-bit millisecond count holds.
    const auto limit = static_cast<std::uint32_t>(std::numeric_limits<int>::max());
    m_timer.start(static_cast<int>(intervalMs > limit ? limit : intervalMs));
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
