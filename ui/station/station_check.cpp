#include "ui/station/station_check.h"

#include "ui/common/message_box.h"
#include "ui/session/frame_ahead.h"
#include "ui/session/qt_foreperiod_timer.h"
#include "ui/session/window_system_clock.h"
#include "ui/station/station_store.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include <QEventLoop>
#include <QLocale>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace ui {

namespace {

constexpr engine::Microseconds kForeperiodP95Limit = 2000;
constexpr engine::Microseconds kForeperiodMaxLimit = 5000;
constexpr engine::Microseconds kFrameMedianLimit = 17000;
constexpr engine::Microseconds kEventLoopP95Limit = 1000;
constexpr double kRefreshLimitHz = 50;
const QRect kSquare {376, 288, 33, 33}; // where the test shows its stimulus

// The value below which `share` of `values` lie (nearest rank), of their absolute values when
// `absolute`; 0 for none.
engine::Microseconds quantile(std::vector<engine::Microseconds> values, double share, bool absolute = false)
{
    if (values.empty()) {
        return 0;
    }
    if (absolute) {
        for (auto& v : values) {
            v = v < 0 ? -v : v;
        }
    }
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(share * static_cast<double>(values.size()) + 0.999999);
    return values[std::min(values.size(), std::max<std::size_t>(rank, 1)) - 1];
}

QString ms(engine::Microseconds us)
{
    return QLocale(QLocale::Czech).toString(static_cast<double>(us) / 1000.0, 'f', 1);
}

QString measuredValues(const StationMeasurement& m)
{
    const QLocale czech(QLocale::Czech);
    QString text = QStringLiteral("Naměřeno:\n");
    text += QStringLiteral("• zpoždění smyčky událostí: medián %1 ms, 95 % do %2 ms\n")
                .arg(ms(quantile(m.eventLoopDelay, 0.5)), ms(quantile(m.eventLoopDelay, 0.95)));
    text += QStringLiteral("• odchylka konce předperiody: 95 % do %1 ms, nejvýše %2 ms\n")
                .arg(ms(quantile(m.foreperiodError, 0.95, true)), ms(quantile(m.foreperiodError, 1.0, true)));
    text += QStringLiteral("• od vykreslení k okennímu systému: medián %1 ms, nejvýše %2 ms\n")
                .arg(ms(quantile(m.frameLatency, 0.5)), ms(quantile(m.frameLatency, 1.0)));
    text += QStringLiteral("• obnovovací frekvence displeje: %1\n")
                .arg(m.refreshHz > 0 ? czech.toString(m.refreshHz, 'f', 0) + QStringLiteral(" Hz")
                                     : QStringLiteral("neznámá"));
    text += QStringLiteral("• časy stisků: %1\n")
                .arg(m.inputTimestampsUsable
                         ? QStringLiteral("časové značky okenního systému (jdou podle hodin stanice)")
                         : QStringLiteral("čas, kdy událost dojde do programu"));
    text += QStringLiteral("• začátek podnětu: %1\n")
                .arg(m.onsetSource == engine::FrameSource::Server
                         ? QStringLiteral("čas okenního systému, kdy snímek převzal")
                         : QStringLiteral("hodiny stanice po odeslání snímku"));
    return text;
}

} // namespace

StationVerdict judgeStation(const StationMeasurement& m)
{
    StationVerdict verdict;
    const engine::Microseconds foreperiod95 = quantile(m.foreperiodError, 0.95, true);
    const engine::Microseconds foreperiodMax = quantile(m.foreperiodError, 1.0, true);
    if (m.foreperiodError.empty() || foreperiod95 > kForeperiodP95Limit || foreperiodMax > kForeperiodMaxLimit) {
        verdict.reasons << QStringLiteral("Předperiody nekončí včas: 95 % jich se odchýlí nejvýše o %1 ms, "
                                          "nejhorší o %2 ms (dovoleno 2 ms a 5 ms). Stanice je zřejmě "
                                          "zatížena jinou prací.")
                               .arg(ms(foreperiod95), ms(foreperiodMax));
    }
    const engine::Microseconds frame = quantile(m.frameLatency, 0.5);
    if (m.frameLatency.empty() || frame > kFrameMedianLimit) {
        verdict.reasons
            << QStringLiteral("Okenní systém přebírá obraz pomalu: medián %1 ms (dovoleno 17 ms).").arg(ms(frame));
    }
    const engine::Microseconds loop95 = quantile(m.eventLoopDelay, 0.95);
    if (!m.inputTimestampsUsable && (m.eventLoopDelay.empty() || loop95 > kEventLoopP95Limit)) {
        verdict.reasons << QStringLiteral("Časy stisků nelze vzít z okenního systému a program dostává události "
                                          "pozdě: 95 % do %1 ms (dovoleno 1 ms). O tolik by se prodloužila "
                                          "reakční doba.")
                               .arg(ms(loop95));
    }
    if (m.refreshHz > 0 && m.refreshHz < kRefreshLimitHz) {
        verdict.reasons << QStringLiteral("Displej se obnovuje jen %1krát za sekundu (potřeba nejméně 50 Hz).")
                               .arg(QLocale(QLocale::Czech).toString(m.refreshHz, 'f', 0));
    }
    verdict.fit = verdict.reasons.isEmpty();
    if (verdict.fit) {
        verdict.report = QStringLiteral("Tato stanice je způsobilá k měření reakční doby.\n\n");
    } else {
        verdict.report = QStringLiteral("Tato stanice NENÍ způsobilá k měření reakční doby.\n\n")
            + verdict.reasons.join(QLatin1Char('\n')) + QStringLiteral("\n\n");
    }
    verdict.report += measuredValues(m);
    verdict.report += QStringLiteral("\nZpoždění samotného displeje (obvykle 5 až 30 ms) a klávesnice či myši "
                                     "(obvykle 1 až 20 ms) žádný program nevidí; je v každé reakční době, "
                                     "u téže sestavy stále stejné.");
    return verdict;
}

results::StationSelfTest selfTestRecord(const StationMeasurement& m, const StationVerdict& verdict,
                                        const std::string& time, const std::string& station)
{
    results::StationSelfTest test;
    test.time = time;
    test.station = station;
    test.fit = verdict.fit;
    test.refreshHz = m.refreshHz > 0 ? std::optional(m.refreshHz) : std::nullopt;
    test.foreperiodMedianUs = quantile(m.foreperiodError, 0.5);
    test.foreperiodP95Us = quantile(m.foreperiodError, 0.95, true);
    test.frameMedianUs = quantile(m.frameLatency, 0.5);
    test.frameP95Us = quantile(m.frameLatency, 0.95);
    test.onsetSource = m.onsetSource == engine::FrameSource::Server ? "server" : "flush";
    return test;
}

StationCheck::StationCheck(int rounds, int intervalMs, engine::Clock* clock)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_clock(clock ? *clock : m_systemClock)
    , m_windowClock(makeWindowSystemClock(m_clock))
    , m_foreperiod(std::make_unique<QtForeperiodTimer>(m_clock))
    , m_rounds(rounds)
    , m_intervalMs(intervalMs)
{
    setObjectName(QStringLiteral("stationCheckWindow"));
    setWindowTitle(QStringLiteral("Tivora – zkouška stanice"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    // Painted ahead, sent and stamped exactly as the test does it with its stimulus.
    m_foreperiod->setPrepareFrame(
        [this] {
            m_windowClock->beforeFrame(*this);
            const QColor next = m_squareShown ? Qt::black : Qt::white;
            m_paintedAhead = paintAhead(*this, kSquare, [next](QPainter& painter) { painter.fillRect(kSquare, next); });
        },
        [this] { m_windowClock->keepAwake(); });
    connect(m_foreperiod.get(), &QtForeperiodTimer::elapsed, this, [this] {
        const engine::Microseconds painted = m_clock.now();
        m_squareShown = !m_squareShown;
        if (std::exchange(m_paintedAhead, false)) {
            sendAhead(*this, kSquare);
        } else {
            repaint(kSquare);
        }
        const engine::FrameStamp out = m_windowClock->frameOut(*this);
        // The server stamps whole milliseconds: a frame out within the millisecond it was sent in may
        // read as a little before the sending.
        m_measurement.frameLatency.push_back(std::max<engine::Microseconds>(out.time - painted, 0));
        m_measurement.foreperiodError.push_back(out.time - m_due);
        m_measurement.onsetSource = out.source;
        m_foreperiod->addOutputLatency(out.time - painted);
        nextForeperiodRound();
    });
}

StationCheck::~StationCheck() = default;

void StationCheck::start()
{
    m_measurement = StationMeasurement {};
    m_measurement.inputTimestampsUsable = m_windowClock->checkInputClock();
    m_windowClock->beforeFrame(*this);
    m_foreperiod->setLeadMs(m_measurement.inputTimestampsUsable ? 25 : 3);
    nextEventLoopRound();
}

void StationCheck::nextEventLoopRound()
{
    if (m_measurement.eventLoopDelay.size() >= static_cast<std::size_t>(m_rounds)) {
        nextForeperiodRound();
        return;
    }
    m_due = m_clock.now() + engine::Microseconds {m_intervalMs} * 1000;
    QTimer::singleShot(m_intervalMs, Qt::PreciseTimer, this, [this] {
        m_measurement.eventLoopDelay.push_back(m_clock.now() - m_due);
        nextEventLoopRound();
    });
}

void StationCheck::nextForeperiodRound()
{
    if (m_measurement.foreperiodError.size() >= static_cast<std::size_t>(m_rounds)) {
        finish();
        return;
    }
    const engine::Microseconds now = m_clock.now();
    m_due = now + engine::Microseconds {m_intervalMs} * 1000;
    m_foreperiod->start(static_cast<std::uint32_t>(m_intervalMs), now);
}

void StationCheck::finish()
{
    const QScreen* display = screen();
    m_measurement.refreshHz = display ? display->refreshRate() : 0;
    // A clock that broke its relation during the check is not usable either.
    m_measurement.inputTimestampsUsable = m_measurement.inputTimestampsUsable && m_windowClock->inputClockHolds();
    emit finished();
}

void StationCheck::paintEvent(QPaintEvent* /*event*/)
{
    if (m_squareShown) {
        QPainter(this).fillRect(kSquare, Qt::white);
    }
}

int runStationCheck(const QString& folder)
{
    StationCheck check;
    check.setGeometry(check.screen()->geometry());
    check.showFullScreen();
    QEventLoop loop;
    QObject::connect(&check, &StationCheck::finished, &loop, &QEventLoop::quit);
    // Measured once the window is on screen and the window system has settled.
    QTimer::singleShot(500, &check, [&check] { check.start(); });
    loop.exec();
    check.hide();
    const StationVerdict verdict = judgeStation(check.measurement());
    storeSelfTest(folder, check.measurement(), verdict);
    std::fputs(verdict.report.toUtf8().constData(), stdout);
    std::fputs("\n", stdout);
    std::fflush(stdout);
    MessageBox::show(nullptr, verdict.fit ? MessageBox::Icon::None : MessageBox::Icon::Stop,
                     QStringLiteral("Tivora – zkouška stanice"), verdict.report);
    return verdict.fit ? 0 : 1;
}

} // namespace ui
