#pragma once

#include "engine/trial_machine.h"

#include <QObject>
#include <QTimer>

namespace ui {

// Timer1: the engine's foreperiod timer on a precise one-shot Qt timer (Qt's default timers may fire
// up to 5 % early or late, which would be seconds off in a long foreperiod). An interval of 0 fires as
// soon as the event loop is free.
class QtForeperiodTimer : public QObject, public engine::ForeperiodTimer
{
    Q_OBJECT

public:
    explicit QtForeperiodTimer(QObject* parent = nullptr);

    void start(std::uint32_t intervalMs) override;
    void stop() override;
    bool isActive() const override;

signals:
    // The foreperiod has elapsed (Timer1Timer).
    void elapsed();

private:
    QTimer m_timer;
};

} // namespace ui
