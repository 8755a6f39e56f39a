#include "ui/qt_foreperiod_timer.h"

#include <QSignalSpy>
#include <QtTest>

namespace ui {

// A clock that stands still and remembers what it was asked to wait for.
class StillClock : public engine::Clock
{
public:
    engine::Microseconds now() override { return value; }
    void waitUntil(engine::Microseconds when) override { waitedFor.push_back(when); }

    engine::Microseconds value = 5000000;
    std::vector<engine::Microseconds> waitedFor;
};

class QtForeperiodTimerTest : public QObject
{
    Q_OBJECT

private slots:
    void firesEarlyAndWaitsOutTheRestLessTheFrameTime()
    {
        StillClock clock;
        QtForeperiodTimer timer(clock);
        timer.setLeadMs(25);
        auto* qtTimer = timer.findChild<QTimer*>(QStringLiteral("Timer1"));
        QVERIFY(qtTimer);
        QSignalSpy elapsed(&timer, &QtForeperiodTimer::elapsed);

        timer.start(30);
        QVERIFY(timer.isActive());
        QCOMPARE(qtTimer->interval(), 5);
        QCOMPARE(qtTimer->timerType(), Qt::PreciseTimer);
        QVERIFY(elapsed.wait(2000));
        QCOMPARE(clock.waitedFor, std::vector<engine::Microseconds> {5030000});

        // The next foreperiod ends earlier by the shortest recent frame time, within bounds.
        timer.addOutputLatency(900);
        timer.addOutputLatency(400);
        timer.addOutputLatency(1200);
        timer.start(30);
        QVERIFY(elapsed.wait(2000));
        QCOMPARE(clock.waitedFor.back(), engine::Microseconds {5030000 - 400});
        for (int i = 0; i < 5; ++i) {
            timer.addOutputLatency(50000);
        }
        timer.start(30);
        QVERIFY(elapsed.wait(2000));
        QCOMPARE(clock.waitedFor.back(), engine::Microseconds {5030000 - 8000});
    }

    void shortForeperiodsAndStoppingWorkAsBefore()
    {
        StillClock clock;
        QtForeperiodTimer timer(clock);
        timer.setLeadMs(25);
        auto* qtTimer = timer.findChild<QTimer*>(QStringLiteral("Timer1"));
        timer.start(20); // shorter than the lead: no early firing
        QCOMPARE(qtTimer->interval(), 20);
        timer.stop();
        QVERIFY(!timer.isActive());
        timer.start(0);
        QCOMPARE(qtTimer->interval(), 0);
    }
};

} // namespace ui

QTEST_MAIN(ui::QtForeperiodTimerTest)
#include "qt_foreperiod_timer_test.moc"
