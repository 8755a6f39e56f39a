#pragma once

#include "engine/clock.h"
#include "engine/timing.h"
#include "results/station_log.h"

#include <functional>
#include <memory>
#include <vector>

#include <QString>
#include <QStringList>
#include <QWidget>

namespace ui {

class QtForeperiodTimer;
class WindowSystemClock;

// What the station check measured, in microseconds where it is a time.
struct StationMeasurement
{
    std::vector<engine::Microseconds> eventLoopDelay;  // how late a precise Qt timer fires
    std::vector<engine::Microseconds> foreperiodError; // stimulus out minus the foreperiod's end
    std::vector<engine::Microseconds> frameLatency;    // from the paint until the window system had it
    double refreshHz = 0;                              // the display's refresh rate; 0 when unknown
    bool inputTimestampsUsable = false;                // input events carry a time on our clock
    engine::FrameSource onsetSource = engine::FrameSource::Flush;
};

// The verdict on a station: fit for reaction-time measurement or not, why not, and the whole report
// in Czech for the examiner.
struct StationVerdict
{
    bool fit = false;
    QStringList reasons; // one sentence per reason the station is unfit
    QString report;      // the verdict, the reasons, the measured values and what no software sees
};

// Judges a measurement. The limits: a foreperiod within 2 ms of its end (95 % of them, none over
// 5 ms late); a frame with the window system within 17 ms (one refresh at 60 Hz) in the median;
// responses timed on the window system's stamps, or else an event loop that is at most 1 ms late
// (95 %), since then the wait for the loop is in every reaction time; a display of 50 Hz or more.
StationVerdict judgeStation(const StationMeasurement& measurement);

// The line a run stores beside the results table (results/station_log.h): `measurement` summed up as the
// verdict judges it, `verdict`'s fit, at `time` on `station`.
results::StationSelfTest selfTestRecord(const StationMeasurement& measurement, const StationVerdict& verdict,
                                        const std::string& time, const std::string& station);

// The check itself: a black full-screen window in which, for a few seconds, precise timers are run,
// foreperiods are timed and a small square is painted and stamped as the test paints its stimulus.
// It has nothing to do with the test program's windows. finished() comes once with the measurement.
class StationCheck : public QWidget
{
    Q_OBJECT

public:
    // `rounds` of each measurement, `intervalMs` apart. `clock` (null for the system clock) must
    // outlive the check.
    explicit StationCheck(int rounds = 25, int intervalMs = 60, engine::Clock* clock = nullptr);
    ~StationCheck() override;

    // Starts measuring (the window should be on screen).
    void start();
    const StationMeasurement& measurement() const { return m_measurement; }

signals:
    void finished();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void nextEventLoopRound();
    void nextForeperiodRound();
    void finish();

    engine::SystemClock m_systemClock;
    engine::Clock& m_clock;
    std::unique_ptr<WindowSystemClock> m_windowClock;
    std::unique_ptr<QtForeperiodTimer> m_foreperiod;
    StationMeasurement m_measurement;
    int m_rounds;
    int m_intervalMs;
    engine::Microseconds m_due = 0;
    bool m_squareShown = false;
    bool m_paintedAhead = false;
};

// `tivora --self-test [FOLDER]`: runs the check full screen, shows the verdict in a box and prints it.
// When there is a test folder (storeSelfTest()), the run is also stored in it; a failure to store is
// named on the error stream and changes nothing else. Returns the exit status: 0 for a fit station, 1
// for an unfit one.
int runStationCheck(const QString& folder = {});

} // namespace ui
