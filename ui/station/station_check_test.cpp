#include "ui/station/station_check.h"
#include "ui/station/station_store.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace ui {

class StationCheckTest : public QObject
{
    Q_OBJECT

    // A station as it should be: X11 stamps, a prompt event loop, foreperiods on time.
    static StationMeasurement goodStation()
    {
        StationMeasurement m;
        m.eventLoopDelay.assign(20, 300);
        m.foreperiodError.assign(20, 400);
        m.frameLatency.assign(20, 900);
        m.refreshHz = 60;
        m.inputTimestampsUsable = true;
        m.onsetSource = engine::FrameSource::Server;
        return m;
    }

private slots:
    void aGoodStationIsFit()
    {
        const StationVerdict verdict = judgeStation(goodStation());
        QVERIFY(verdict.fit);
        QVERIFY(verdict.reasons.isEmpty());
        QVERIFY(verdict.report.startsWith(QStringLiteral("Tato stanice je způsobilá k měření reakční doby.")));
        QVERIFY(verdict.report.contains(QStringLiteral("medián 0,9 ms")));
        QVERIFY(verdict.report.contains(QStringLiteral("60 Hz")));
        QVERIFY(verdict.report.contains(QStringLiteral("displeje")));
    }

    void eachShortcomingIsNamed_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("reason");
        QTest::newRow("late foreperiods") << 0 << QStringLiteral("Předperiody nekončí včas");
        QTest::newRow("one very late foreperiod") << 1 << QStringLiteral("nejhorší o 6,0 ms");
        QTest::newRow("slow frames") << 2 << QStringLiteral("Okenní systém přebírá obraz pomalu: medián 20,0 ms");
        QTest::newRow("arrival with a late loop") << 3 << QStringLiteral("Časy stisků nelze vzít");
        QTest::newRow("slow display") << 4 << QStringLiteral("jen 30krát za sekundu");
        QTest::newRow("nothing measured") << 5 << QStringLiteral("Předperiody nekončí včas");
    }

    void eachShortcomingIsNamed()
    {
        QFETCH(int, fault);
        QFETCH(QString, reason);
        StationMeasurement m = goodStation();
        switch (fault) {
        case 0:
            m.foreperiodError.assign(20, 2500);
            break;
        case 1:
            m.foreperiodError.back() = -6000; // early counts as much as late
            break;
        case 2:
            m.frameLatency.assign(20, 20000);
            break;
        case 3:
            m.inputTimestampsUsable = false;
            m.eventLoopDelay.assign(20, 4000);
            break;
        case 4:
            m.refreshHz = 30;
            break;
        default:
            m = StationMeasurement {};
            break;
        }
        const StationVerdict verdict = judgeStation(m);
        QVERIFY(!verdict.fit);
        QVERIFY2(verdict.reasons.join(QLatin1Char(' ')).contains(reason), qPrintable(verdict.reasons.join('|')));
        QVERIFY(verdict.report.startsWith(QStringLiteral("Tato stanice NENÍ způsobilá")));
    }

    void arrivalStampsAreFineWhereTheLoopIsPrompt()
    {
        // As on Windows: no usable input stamps, but the wait for the event loop is short.
        StationMeasurement m = goodStation();
        m.inputTimestampsUsable = false;
        m.onsetSource = engine::FrameSource::Flush;
        m.refreshHz = 0; // unknown is no reason
        const StationVerdict verdict = judgeStation(m);
        QVERIFY2(verdict.fit, qPrintable(verdict.reasons.join('|')));
        QVERIFY(verdict.report.contains(QStringLiteral("čas, kdy událost dojde do programu")));
        QVERIFY(verdict.report.contains(QStringLiteral("neznámá")));
    }

    void aRunIsStoredInTheTestFolderOnly()
    {
        QStandardPaths::setTestModeEnabled(true); // no remembered test folder of the user's
        QTemporaryDir folder;
        QTemporaryDir elsewhere;
        const QString log = folder.filePath(QStringLiteral("tivora4_stations.csv"));
        StationMeasurement m = goodStation();
        m.foreperiodError = {-300, 100, 200, 2500, 400};
        // Without the results table the folder is no test folder: nothing is written there.
        storeSelfTest(folder.path(), m, judgeStation(m));
        QVERIFY(!QFile::exists(log));
        QFile table(folder.filePath(QStringLiteral("tivora4.DBF")));
        QVERIFY(table.open(QIODevice::WriteOnly));
        table.close();
        QCOMPARE(selfTestFolder(folder.path()), folder.path());
        QVERIFY(QDir::setCurrent(elsewhere.path()));
        QCOMPARE(selfTestFolder({}), QString());
        storeSelfTest(folder.path(), m, judgeStation(m));
        storeSelfTest(folder.path(), goodStation(), judgeStation(goodStation()));
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 4); // the header, two runs, nothing after the last CR LF
        QVERIFY(lines[0].startsWith("time,station,verdict,refresh_hz,foreperiod_error_median_us"));
        // Median of the signed errors, the 95 % bound of their sizes: the verdict's own figures.
        QVERIFY2(lines[1].contains(",unfit,60,200,2500,900,900,server\r"), lines[1].constData());
        QVERIFY2(lines[2].contains(",fit,60,400,400,900,900,server\r"), lines[2].constData());
    }

    void theCheckMeasuresEveryRound()
    {
        StationCheck check(6, 20);
        check.show();
        QSignalSpy finished(&check, &StationCheck::finished);
        check.start();
        QVERIFY(finished.wait(5000));
        const StationMeasurement& m = check.measurement();
        QCOMPARE(m.eventLoopDelay.size(), std::size_t {6});
        QCOMPARE(m.foreperiodError.size(), std::size_t {6});
        QCOMPARE(m.frameLatency.size(), std::size_t {6});
        QVERIFY(!m.inputTimestampsUsable); // offscreen: nothing to check against
        for (const engine::Microseconds delay : m.eventLoopDelay) {
            QVERIFY(delay > -1000); // a precise timer does not fire a millisecond early
        }
    }
};

} // namespace ui

QTEST_MAIN(ui::StationCheckTest)
#include "station_check_test.moc"
