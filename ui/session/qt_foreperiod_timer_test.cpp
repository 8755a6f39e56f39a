#include "ui/session/qt_foreperiod_timer.h"

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

// A clock that moves on by a little at every reading, and to the moment asked for when it is waited on.
class SteppingClock : public engine::Clock
{
public:
    engine::Microseconds now() override { return value += 10; }
    void waitUntil(engine::Microseconds when) override { value = std::max(value, when); }

    engine::Microseconds value = 5000000;
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

        timer.start(30, clock.value);
        QVERIFY(timer.isActive());
        QCOMPARE(qtTimer->interval(), 5);
        QCOMPARE(qtTimer->timerType(), Qt::PreciseTimer);
        QVERIFY(elapsed.wait(2000));
        QCOMPARE(clock.waitedFor, std::vector<engine::Microseconds> {5030000});

        // The next foreperiod ends earlier by the middle of the recent frame times, within bounds.
        timer.addOutputLatency(900);
        timer.addOutputLatency(400);
        timer.addOutputLatency(1200);
        timer.start(30, clock.value);
        QVERIFY(elapsed.wait(2000));
        QCOMPARE(clock.waitedFor.back(), engine::Microseconds {5030000 - 900});
        for (int i = 0; i < 5; ++i) {
            timer.addOutputLatency(50000);
        }
        timer.start(30, clock.value);
        QVERIFY(elapsed.wait(2000));
        QCOMPARE(clock.waitedFor.back(), engine::Microseconds {5030000 - 8000});
    }

    void runsFromTheMomentTheScreenWasBlack()
    {
        // Armed 300 ms after the black screen was out (a slow handler): the foreperiod still ends one
        // second after that moment, not one second after the arming.
        StillClock clock;
        QtForeperiodTimer timer(clock);
        timer.setLeadMs(25);
        auto* qtTimer = timer.findChild<QTimer*>(QStringLiteral("Timer1"));
        QSignalSpy elapsed(&timer, &QtForeperiodTimer::elapsed);
        timer.start(1000, clock.value - 300000);
        QCOMPARE(qtTimer->interval(), 675);
        QVERIFY(elapsed.wait(3000));
        QCOMPARE(clock.waitedFor, std::vector<engine::Microseconds> {clock.value + 700000});
    }

    void getsTheFrameReadyBeforeTheWaitAndKeepsTheWindowSystemAwakeToTheEnd()
    {
        SteppingClock clock;
        QtForeperiodTimer timer(clock);
        timer.setLeadMs(25);
        timer.addOutputLatency(500);
        std::vector<engine::Microseconds> prepared;
        std::vector<engine::Microseconds> nudged;
        timer.setPrepareFrame([&] { prepared.push_back(clock.value); }, [&] { nudged.push_back(clock.value); });
        engine::Microseconds elapsedAt = 0;
        connect(&timer, &QtForeperiodTimer::elapsed, this, [&] { elapsedAt = clock.value; });
        QSignalSpy elapsed(&timer, &QtForeperiodTimer::elapsed);

        const engine::Microseconds from = clock.value;
        const engine::Microseconds target = from + 30000 - 500;
        timer.start(30, from);
        QVERIFY(elapsed.wait(2000));
        // Got ready once, well before the end (the Qt timer fired 25 ms early and the clock stood still).
        QCOMPARE(prepared.size(), std::size_t {1});
        QVERIFY(prepared[0] < target - 2000);
        // Nudged all through the last 2 ms, a tenth of a millisecond apart, never after the end.
        QVERIFY(nudged.size() >= 15 && nudged.size() <= 21);
        QVERIFY(nudged.front() >= target - 2000 && nudged.front() < target - 1900);
        QVERIFY(nudged.back() < target && nudged.back() >= target - 120);
        for (std::size_t i = 1; i < nudged.size(); ++i) {
            QVERIFY(nudged[i] - nudged[i - 1] >= 100 && nudged[i] - nudged[i - 1] <= 120);
        }
        QVERIFY(elapsedAt >= target && elapsedAt < target + 50);
    }

    void shortForeperiodsAndStoppingWorkAsBefore()
    {
        StillClock clock;
        QtForeperiodTimer timer(clock);
        timer.setLeadMs(25);
        auto* qtTimer = timer.findChild<QTimer*>(QStringLiteral("Timer1"));
        timer.start(20, clock.value); // shorter than the lead: no early firing
        QCOMPARE(qtTimer->interval(), 20);
        timer.stop();
        QVERIFY(!timer.isActive());
        timer.start(0, clock.value);
        QCOMPARE(qtTimer->interval(), 0);
    }
};

} // namespace ui

QTEST_MAIN(ui::QtForeperiodTimerTest)
#include "qt_foreperiod_timer_test.moc"
