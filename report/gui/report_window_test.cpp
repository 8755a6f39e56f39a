#include "crypto/pseudonym.h"
#include "report/gui/report_window.h"
#include "report/test_support.h"
#include "ui/common/message_box.h"
#include "ui/common/remembered_folder.h"

#include <memory>

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace report::gui {

class ReportWindowTest : public QObject
{
    Q_OBJECT

private:
    // The table of these tests: two of Jana Nováková, one of Jiří Dvořák, a deleted one, one without a name.
    QString writeTable()
    {
        const QString path = m_dir->filePath(QStringLiteral("tivora4.DBF"));
        std::vector<results::ResultRecord> records;
        const auto add = [&](results::Identity who, const std::string& list) {
            records.push_back(testing::rawRecord(who, {{2, 0.0, 0, list, ""}}));
        };
        add({"Nováková", "Jana", "905512", "1240", " 1.12.2026"}, "300|320|");
        add({"Dvořák", "Jiří", "851003", "4324", " 2.12.2026"}, "400|410|");
        add({"Smazaná", "Řada", "111111", "1111", " 3.12.2026"}, "1|");
        add({"Nováková", "Jana", "905512", "1240", " 4.12.2026"}, "280|290|");
        add({"", "", "      ", "    ", " 5.12.2026"}, "310|");
        testing::appendRecords(path.toStdString(), records);
        testing::deleteRecord(path.toStdString(), 3);
        return path;
    }

    // Opens the table at `path` and waits until the window has read it.
    static void open(ReportWindow& window, const QString& path)
    {
        window.openTable(path);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isLoading(), 20000);
    }

    QLineEdit* filter(ReportWindow& window) { return window.findChild<QLineEdit*>(QStringLiteral("filterLineEdit")); }
    QTableView* list(ReportWindow& window) { return window.findChild<QTableView*>(QStringLiteral("testsTableView")); }
    void click(ReportWindow& window, const char* name)
    {
        QTest::mouseClick(window.findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
    }

    // A file chooser that answers with `path` and the filter `filter`.
    static ReportWindow::FileChooser answer(const QString& path, const QString& filter = {})
    {
        return [path, filter](QWidget*, const QString&, const QString&, const QString& filters, QString* selected) {
            if (selected && !filter.isEmpty()) {
                Q_ASSERT(filters.contains(filter));
                *selected = filter;
            }
            return path;
        };
    }

    // Appends `record` to the table at `path` as another station's process does, while this process
    // has the table open read-only: the record's bytes go behind the last record in the file.
    void appendAsAnotherStation(const QString& path, const results::ResultRecord& record)
    {
        const QString copy = m_dir->filePath(QStringLiteral("station.DBF"));
        QFile::remove(copy);
        QVERIFY(QFile::copy(path, copy));
        testing::appendRecords(copy.toStdString(), {record});
        QFile table(path);
        QFile station(copy);
        QVERIFY(table.open(QIODevice::ReadWrite) && station.open(QIODevice::ReadOnly));
        const QByteArray rows = station.readAll();
        const qint64 end = table.size() - 1; // the end marker
        const int recordLength = static_cast<unsigned char>(rows[10]) | static_cast<unsigned char>(rows[11]) << 8;
        QVERIFY(table.seek(end));
        QCOMPARE(table.write(rows.mid(static_cast<int>(end), recordLength)), qint64 {recordLength});
    }

    static int lineCount(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? static_cast<int>(file.readAll().count('\n')) : -1;
    }

    // A norm file with `row` as its one table line (P10, P50, P90): Jana Nováková (36 at her tests) is in
    // its group of women, Jiří Dvořák in none.
    QString writeNorm(const QString& name, const char* row)
    {
        const QString path = m_dir->filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("tivora-norms,1\r\nname,Zkušební norma\r\nversion,3\r\nsource,laboratoř\r\n"
                   "collected_from,2025-01-01\r\ncollected_to,2025-12-31\r\n\r\n"
                   "age_from,age_to,sex,measure,n,flag,mean,sd,P10,P50,P90\r\n");
        file.write(row);
        return path;
    }

    static ReportWindow::OpenChooser openAnswer(const QString& path)
    {
        return [path](QWidget*, const QString&, const QString&) { return path; };
    }

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void initTestCase()
    {
        // The window remembers its norm and its key file; the tests' choices go to a settings file of their own.
        QStandardPaths::setTestModeEnabled(true);
        ui::testProgramSettings().remove(QStringLiteral("report/pseudonymKeyFile"));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        ui::MessageBox::setAutoAnswer(true);
        ui::MessageBox::takeShown();
    }

    void listsTestsNewestFirstAndShowsTheNewest()
    {
        ReportWindow window;
        open(window, writeTable());
        QCOMPARE(window.model().rowCount(), 4);
        QCOMPARE(window.model().recordAt(0), 5U);
        QCOMPARE(window.model().recordAt(3), 1U);
        QCOMPARE(window.currentRecord(), 5U);
        QVERIFY(window.currentProtocol());
        QCOMPARE(window.findChild<QPrintPreviewWidget*>(QStringLiteral("protocolPreview"))->pageCount(), 1);
        QVERIFY(ui::MessageBox::takeShown().empty());
    }

    void filterByNameOrBirthNumberAsOneTypes()
    {
        ReportWindow window;
        open(window, writeTable());
        window.show();
        QTest::keyClicks(filter(window), QStringLiteral("novak"));
        QCOMPARE(window.model().rowCount(), 2);
        QCOMPARE(window.model().recordAt(0), 4U);
        QCOMPARE(window.currentRecord(), 4U); // the test shown before was filtered out: the first one now
        filter(window)->clear();
        filter(window)->insert(QStringLiteral("JIŘÍ")); // typed through an input method
        QTest::keyClicks(filter(window), QStringLiteral(" DV"));
        QCOMPARE(window.model().rowCount(), 1);
        QCOMPARE(window.currentRecord(), 2U);
        filter(window)->clear();
        QTest::keyClicks(filter(window), QStringLiteral("905512/12"));
        QCOMPARE(window.model().rowCount(), 2);
        filter(window)->clear();
        QTest::keyClicks(filter(window), QStringLiteral("nobody"));
        QCOMPARE(window.model().rowCount(), 0);
        QCOMPARE(window.currentRecord(), 0U);
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("printPushButton"))->isEnabled());
        filter(window)->clear();
        QCOMPARE(window.model().rowCount(), 4);
    }

    void choosingATestShowsItsProtocolWithEarlierTests()
    {
        ReportWindow window;
        open(window, writeTable());
        window.show();
        QTableView* view = list(window);
        const int row = window.model().rowOf(4);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(window.model().index(row, 1)).center());
        QCOMPARE(window.currentRecord(), 4U);
        const ProtocolContent* protocol = window.currentProtocol();
        QCOMPARE(protocol->test.identity.surname, std::string("Nováková"));
        QCOMPARE(protocol->history.size(), std::size_t {2});
        QCOMPARE(*protocol->analysis.all.mean, 285.0);
        // A filter that keeps the chosen test keeps it chosen.
        QTest::keyClicks(filter(window), QStringLiteral("Jana"));
        QCOMPARE(window.currentRecord(), 4U);
    }

    void exportsTheWholeTableOrTheTestsShown()
    {
        ReportWindow window;
        open(window, writeTable());
        window.show();
        QTest::keyClicks(filter(window), QStringLiteral("Novakova"));
        const QString shown = m_dir->filePath(QStringLiteral("shown.csv"));
        window.setFileChooser(answer(shown, QStringLiteral("Tabulka CSV, řádek na vyšetření (*.csv)")));
        click(window, "exportShownPushButton");
        QCOMPARE(lineCount(shown), 3); // header and two tests
        const QString trials = m_dir->filePath(QStringLiteral("trials.csv"));
        window.setFileChooser(answer(trials, QStringLiteral("Tabulka CSV, řádek na pokus (*.csv)")));
        click(window, "exportShownPushButton");
        QCOMPARE(lineCount(trials), 5);
        const QString all = m_dir->filePath(QStringLiteral("all.xlsx"));
        window.setFileChooser(answer(all, QStringLiteral("Sešit Excel (*.xlsx)")));
        click(window, "exportAllPushButton");
        QFile workbook(all);
        QVERIFY(workbook.open(QIODevice::ReadOnly));
        QCOMPARE(workbook.read(2), QByteArray("PK"));
        const auto shownBoxes = ui::MessageBox::takeShown();
        QCOMPARE(shownBoxes.size(), std::size_t {3});
        QVERIFY(shownBoxes.back().text.startsWith(QStringLiteral("Exportováno 4 vyšetření")));
        // Cancelling the dialog writes nothing.
        window.setFileChooser(answer({}));
        click(window, "exportAllPushButton");
        QVERIFY(ui::MessageBox::takeShown().empty());
    }

    void exportsWithoutTheIdentityUnderTheKeyChosenAndRemembersIt()
    {
        ReportWindow window;
        open(window, writeTable());
        const QString keyPath = m_dir->filePath(QStringLiteral("lab.key"));
        const crypto::Key key = crypto::createKeyFile(keyPath.toStdString());
        QTest::mouseClick(window.findChild<QCheckBox*>(QStringLiteral("pseudonymiseCheckBox")), Qt::LeftButton);
        QStringList suggestedKeys;
        const auto chooseKey = [&](const QString& path) {
            return
                [&suggestedKeys, path](QWidget*, const QString&, const QString& suggested, const QString&, QString*) {
                    suggestedKeys << suggested;
                    return path;
                };
        };
        const QString csv = m_dir->filePath(QStringLiteral("pseudonymy.csv"));
        window.setKeyChooser(chooseKey(keyPath));
        window.setFileChooser(answer(csv, QStringLiteral("Tabulka CSV, řádek na vyšetření (*.csv)")));
        click(window, "exportAllPushButton");
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("pseudonym"));
        for (const char* identity : {"Nov", "Dvo", "905512", "851003", "Jana"}) {
            QVERIFY2(!text.contains(identity), identity);
        }
        const QByteArray jana = QByteArray::fromStdString(*crypto::pseudonym(key, "9055121240"));
        QCOMPARE(text.count(jana), 2);
        QCOMPARE(ui::MessageBox::takeShown().size(), std::size_t {1});

        // The next export suggests the key chosen last; cancelling its choice writes nothing.
        window.setKeyChooser(chooseKey({}));
        window.setFileChooser(answer(m_dir->filePath(QStringLiteral("never.csv"))));
        click(window, "exportAllPushButton");
        QCOMPARE(suggestedKeys, QStringList({QString(), keyPath}));
        QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("never.csv"))));
        QVERIFY(ui::MessageBox::takeShown().empty());

        // An export never replaces the key.
        window.setKeyChooser(chooseKey(keyPath));
        window.setFileChooser(answer(keyPath));
        click(window, "exportAllPushButton");
        QCOMPARE(crypto::readKeyFile(keyPath.toStdString()).key, key);
        QCOMPARE(ui::MessageBox::takeShown().size(), std::size_t {1});
    }

    void savesTheProtocolAsPdf()
    {
        ReportWindow window;
        open(window, writeTable());
        const QString pdf = m_dir->filePath(QStringLiteral("protokol.pdf"));
        window.setFileChooser(answer(pdf));
        click(window, "savePdfPushButton");
        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(5), QByteArray("%PDF-"));
    }

    void refreshShowsRowsStoredMeanwhile()
    {
        ReportWindow window;
        const QString path = writeTable();
        open(window, path);
        window.show();
        QTest::keyClicks(filter(window), QStringLiteral("Dvorak"));
        appendAsAnotherStation(
            path, testing::rawRecord({"Dvořák", "Jiří", "851003", "4324", " 6.12.2026"}, {{1, 0.0, 0, "350|", ""}}));
        click(window, "refreshPushButton");
        QTRY_VERIFY(!window.isLoading());
        QCOMPARE(window.model().rowCount(), 2);
        QCOMPARE(window.model().recordAt(0), 6U);
        QCOMPARE(window.currentRecord(), 2U);
    }

    void tableThatCannotBeOpenedIsNamedInABox()
    {
        ReportWindow window;
        open(window, m_dir->filePath(QStringLiteral("missing.DBF")));
        const auto boxes = ui::MessageBox::takeShown();
        QCOMPARE(boxes.size(), std::size_t {1});
        QVERIFY(boxes[0].text.contains(QStringLiteral("Table file not found")));
        QCOMPARE(window.model().rowCount(), 0);
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("exportAllPushButton"))->isEnabled());
    }

    void readsALargeTableOnItsOwnThreadAndStopsWhenAsked()
    {
        // A table of gigabytes (here its holes: a damaged or hostile file reads the same) would freeze a
        // window that read it on its own thread, with nothing painted for minutes.
        const QString path = writeTable();
        QFile table(path);
        const qint64 size = table.size();
        QVERIFY(table.resize(qint64 {3} << 30));
        ReportWindow window;
        window.show();
        window.openTable(path);
        QVERIFY(window.isLoading());
        auto* progress = window.findChild<QProgressBar*>(QStringLiteral("loadProgressBar"));
        QTRY_VERIFY(progress->isVisible() && progress->value() > 0);
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("refreshPushButton"))->isEnabled());
        click(window, "cancelLoadPushButton");
        QTRY_VERIFY(!window.isLoading());
        QVERIFY(!progress->isVisible());
        QCOMPARE(window.model().rowCount(), 0);
        QVERIFY(window.statusBar()->currentMessage().contains(QStringLiteral("bylo zastaveno")));
        QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("exportAllPushButton"))->isEnabled());
        QVERIFY(ui::MessageBox::takeShown().empty());
        // Without the holes, the same window reads the table again to its end.
        QVERIFY(table.resize(size));
        click(window, "refreshPushButton");
        QTRY_VERIFY(!window.isLoading());
        QCOMPARE(window.model().rowCount(), 4);
    }

    void ranksProtocolAndExportByTheChosenNormAndRemembersIt()
    {
        const QString norm = writeNorm(QStringLiteral("normy.csv"), "18,64,F,mean_rt,100,,300,20,260,300,340\r\n");
        {
            ReportWindow window;
            window.setNormChooser(openAnswer(norm));
            click(window, "chooseNormPushButton");
            QVERIFY(window.findChild<QLabel*>(QStringLiteral("normLabel"))
                        ->text()
                        .contains(QStringLiteral("Zkušební norma, verze 3")));
            open(window, writeTable());
            window.show();
            QTest::keyClicks(filter(window), QStringLiteral("Jana"));
            QCOMPARE(window.currentRecord(), 4U);
            // Mean 285 ms lies between P10 260 and P50 300: 35 % were as fast or faster, 65 % slower.
            const norms::MeasureRank& mean = window.currentProtocol()->ranks->ranks.front();
            QVERIFY2(mean.wholePr, mean.noNorm ? norms::describeNoNorm(mean, *window.normRanking().table).c_str() : "");
            QCOMPARE(*mean.wholePr, 65);
            QCOMPARE(*mean.t, 57.5);
            QCOMPARE(*mean.verdict, norms::Verdict::Above);
            filter(window)->clear();
            const QString csv = m_dir->filePath(QStringLiteral("all.csv"));
            window.setFileChooser(answer(csv, QStringLiteral("Tabulka CSV, řádek na vyšetření (*.csv)")));
            click(window, "exportAllPushButton");
            QFile file(csv);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = file.readAll().split('\n');
            const char sep = lines[0].contains(';') ? ';' : ',';
            QVERIFY(lines[0].trimmed().endsWith(
                QByteArray("issues") + sep + "changes" + sep + "last_change" + sep + "norm_group" + sep + "pr_mean_rt"
                + sep + "t_mean_rt" + sep + "pr_median_rt" + sep + "t_median_rt" + sep + "pr_sd_rt" + sep + "t_sd_rt"
                + sep + "pr_speed" + sep + "t_speed" + sep + "pr_lapses" + sep + "t_lapses" + sep + "pr_anticipations"
                + sep + "t_anticipations" + sep + "pr_premature" + sep + "t_premature" + sep + "norm_notes"));
            QVERIFY2(lines[3].contains(QByteArray("\"18-64, women\"") + sep + "65" + sep + "57"), lines[3].constData());
            // 41 on 2 December, 40 on 12 February: a month-first system date format reads " 2.12.2026" so.
            QVERIFY2(QString::fromUtf8(lines[2]).contains(
                         QRegularExpression(QStringLiteral("no norm: the norm has no group for age 4[01], men"))),
                     lines[2].constData());
        }
        // The next start ranks by the same norm.
        ReportWindow again;
        again.restoreNormFile();
        QVERIFY(again.normRanking().table != nullptr);
        QCOMPARE(again.normRanking().table->version, std::string("3"));
        click(again, "clearNormPushButton");
        ReportWindow third;
        third.restoreNormFile();
        QVERIFY(third.normRanking().table == nullptr);
    }

    void damagedNormIsNamedAndTheWindowGoesOn()
    {
        const QString good = writeNorm(QStringLiteral("good.csv"), "18,64,F,mean_rt,100,,300,20,260,300,340\r\n");
        const QString damaged = writeNorm(QStringLiteral("damaged.csv"), "18,64,F,mean_rt,100,,300,20,260,250,340\r\n");
        ReportWindow window;
        QVERIFY(window.chooseNormFile(good));
        ui::MessageBox::takeShown();
        window.setNormChooser(openAnswer(damaged));
        click(window, "chooseNormPushButton");
        const auto boxes = ui::MessageBox::takeShown();
        QCOMPARE(boxes.size(), std::size_t {1});
        QVERIFY2(boxes[0].text.contains(QStringLiteral("damaged.csv: line 9: P50 250 is below P10 260")),
                 qPrintable(boxes[0].text));
        QCOMPARE(window.normRanking().table->version, std::string("3")); // the good one stays
        window.setNormChooser(openAnswer(m_dir->filePath(QStringLiteral("missing.csv"))));
        click(window, "chooseNormPushButton");
        QCOMPARE(ui::MessageBox::takeShown().size(), std::size_t {1});
        open(window, writeTable());
        QCOMPARE(window.currentRecord(), 5U);
        QVERIFY(window.currentProtocol()->ranks.has_value());
    }

    void modelPassesTheModelTester()
    {
        TestsModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setTests({{1, "Nováková", "Jana", "905512", "1234", "1.12.2026"}, {2, "Dvořák", "Jiří", "", "", ""}});
        model.setFilter(QStringLiteral("dvorak"));
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.data(model.index(0, TestsModel::BirthNumberColumn)).toString(), QString());
        model.setFilter({});
        QCOMPARE(model.data(model.index(1, TestsModel::BirthNumberColumn)).toString(), QStringLiteral("905512/1234"));
        QCOMPARE(model.shownRecords(), (std::vector<std::uint32_t> {1, 2}));
    }
};

} // namespace report::gui

QTEST_MAIN(report::gui::ReportWindowTest)
#include "report_window_test.moc"
