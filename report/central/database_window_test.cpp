// The examiner's window on the central database, against a real PostgreSQL server filled by the real
// collector from two offices' tables: the list with its places, the choice by office, a protocol, the
// window's export equal to the export command's, a server that is away, a password refused, a reading
// stopped.
#include "central/test_server.h"
#include "report/central/database_source.h"
#include "report/gui/report_window.h"
#include "report/source_export.h"
#include "sync/collector.h"
#include "sync/test_tables.h"
#include "ui/common/message_box.h"
#include "ui/common/remembered_folder.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace report::gui {

namespace {

using central::testing::TestServer;

struct Office
{
    std::string name;
    std::string role;
    int station;
    int tests;
};

const std::vector<Office> kOffices = {{"Brno", "sync_brno", 2, 4}, {"Ústí nad Labem", "sync_usti", 5, 3}};

DatabaseOpener opener()
{
    return [](const std::string& conninfo) -> std::unique_ptr<TestSource> {
        return std::make_unique<database::DatabaseSource>(conninfo, std::chrono::seconds(3));
    };
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class DatabaseWindowTest : public QObject
{
    Q_OBJECT

private:
    static TestServer& server() { return TestServer::shared(); }
    QString conninfo() const { return QString::fromStdString(server().conninfo(m_database, "report_reader")); }

    void fill()
    {
        m_database = server().createDatabase();
        server().connect(m_database)->run("CREATE ROLE report_reader LOGIN IN ROLE tivora_report");
        for (const Office& office : kOffices) {
            server().addOffice(m_database, office.name, office.role);
            const std::string folder = m_dir->filePath(QString::fromStdString(office.role)).toStdString() + "/";
            std::filesystem::create_directories(folder);
            for (int sequence = 1; sequence <= office.tests; ++sequence) {
                collection::testing::storeTest(folder, office.station, sequence);
            }
            collection::CollectorSettings settings;
            settings.connection.conninfo = server().conninfo(m_database, office.role);
            settings.office = office.name;
            settings.folders = {{"Stanice " + std::to_string(office.station), folder}};
            settings.host = "test";
            collection::Collector collector(settings, [](const std::string&) {});
            QVERIFY(collector.collectOnce());
        }
    }

    static void open(ReportWindow& window, const QString& conninfo)
    {
        window.openDatabase(conninfo);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isLoading(), 20000);
    }

    // Waits for the list asked for last, and for the box it may have shown.
    static std::vector<ui::MessageBox::Shown> settle(ReportWindow& window)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (window.isLoading() && std::chrono::steady_clock::now() < end) {
            QTest::qWait(10);
        }
        if (window.isLoading()) {
            return {{ui::MessageBox::Icon::None, QStringLiteral("timeout"), QStringLiteral("still reading")}};
        }
        return ui::MessageBox::takeShown();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::string m_database;

private slots:
    void initTestCase()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        // The remembered connection goes to settings of this test's own.
        qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("config")).toUtf8());
        ui::MessageBox::setAutoAnswer(true);
        fill();
    }

    void init() { ui::MessageBox::takeShown(); }

    // The list with office and station, chosen by office, a protocol of the chosen test, the export of
    // the tests shown equal to the export command's of the same choice.
    void listsChoosesByOfficeAndShowsAProtocol()
    {
        ReportWindow window;
        window.setDatabaseOpener(opener());
        window.show();
        open(window, conninfo());
        QVERIFY(ui::MessageBox::takeShown().empty());
        TestsModel& model = window.model();
        QCOMPARE(model.totalCount(), 7);
        QCOMPARE(model.columnCount(), int {TestsModel::ColumnCount});
        QCOMPARE(model.headerData(TestsModel::OfficeColumn, Qt::Horizontal).toString(), QStringLiteral("Pracoviště"));
        QCOMPARE(ui::testProgramSettings().value(QLatin1String(kDatabaseKey)).toString(), conninfo());

        auto* office = window.findChild<QComboBox*>(QStringLiteral("officeComboBox"));
        QVERIFY(office->findText(QStringLiteral("Ústí nad Labem")) >= 0); // offered from the list
        office->setEditText(QStringLiteral("Ústí nad Labem"));
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("applyFilterPushButton")), Qt::LeftButton);
        QVERIFY(settle(window).empty());
        QCOMPARE(window.databaseFilter().office, std::string("Ústí nad Labem"));
        QCOMPARE(model.totalCount(), 3);
        for (int row = 0; row < model.rowCount(); ++row) {
            QCOMPARE(model.index(row, TestsModel::OfficeColumn).data().toString(), QStringLiteral("Ústí nad Labem"));
            QCOMPARE(model.index(row, TestsModel::StationColumn).data().toString(), QStringLiteral("Stanice 5"));
        }

        window.findChild<QTableView*>(QStringLiteral("testsTableView"))->selectRow(1);
        QVERIFY(window.currentProtocol());
        const std::uint64_t chosen = model.idAt(1);
        QCOMPARE(window.currentTest(), chosen);
        database::DatabaseSource source(conninfo().toStdString());
        const SourcedTest stored = source.read(chosen);
        QCOMPARE(window.currentProtocol()->test.identity.surname, stored.test.identity.surname);
        QCOMPARE(window.currentProtocol()->test.identity.record, stored.test.identity.record);
        QCOMPARE(window.findChild<QPrintPreviewWidget*>(QStringLiteral("protocolPreview"))->pageCount(), 1);
        // A norm's choice shows the same test again (by its number in the database, not its record's).
        QVERIFY(window.chooseNormFile({}));
        QCOMPARE(window.currentTest(), chosen);
        QCOMPARE(window.currentProtocol()->test.identity.surname, stored.test.identity.surname);
        QVERIFY(ui::MessageBox::takeShown().empty());

        // The export of the whole choice is the export command's; the search narrows what "shown" writes.
        ExportOptions options;
        if (QLocale::system().decimalPoint() == QStringLiteral(",")) {
            options.csv.delimiter = ';';
            options.csv.decimalComma = true;
        }
        TestFilter filter;
        filter.office = "Ústí nad Labem";
        const QString fromCommand = m_dir->filePath(QStringLiteral("command.csv"));
        const QString whole = m_dir->filePath(QStringLiteral("whole.csv"));
        QCOMPARE(exportFrom(source, filter, fromCommand.toStdString(), options).tests, std::size_t {3});
        QCOMPARE(window.exportTo(whole, ExportFormat::Csv, false).tests, std::size_t {3});
        QCOMPARE(contents(whole), contents(fromCommand));
        window.findChild<QLineEdit*>(QStringLiteral("filterLineEdit"))
            ->setText(QString::fromStdString(stored.test.identity.birthNumberKey()));
        QCOMPARE(model.rowCount(), 1);
        const QString shown = m_dir->filePath(QStringLiteral("shown.xlsx"));
        QCOMPARE(window.exportTo(shown, ExportFormat::Xlsx, true).tests, std::size_t {1});
        filter.person = stored.test.identity.birthNumberKey();
        const QString person = m_dir->filePath(QStringLiteral("person.xlsx"));
        options.format = ExportFormat::Xlsx;
        exportFrom(source, filter, person.toStdString(), options);
        QCOMPARE(contents(shown).size(), contents(person).size());
    }

    // A server that cannot be reached, one that went away and a password in the connection string: a
    // box says so and the window goes on, and lists the database once it is there again.
    void saysWhenTheServerIsAwayAndGoesOn_data()
    {
        QTest::addColumn<QString>("conninfo");
        QTest::addColumn<QString>("message");
        QTest::newRow("closed port") << QStringLiteral("host=127.0.0.1 port=1 dbname=x user=report_reader")
                                     << QStringLiteral("Cannot connect to the database");
        QTest::newRow("password") << conninfo() + QStringLiteral(" password=tajne")
                                  << QStringLiteral("holds a password");
    }

    void saysWhenTheServerIsAwayAndGoesOn()
    {
        QFETCH(QString, conninfo);
        QFETCH(QString, message);
        ReportWindow window;
        window.setDatabaseOpener(opener());
        window.show();
        const auto started = std::chrono::steady_clock::now();
        window.openDatabase(conninfo);
        QVERIFY(window.isLoading());
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("cancelLoadPushButton"))->isVisible());
        const std::vector<ui::MessageBox::Shown> shown = settle(window);
        QVERIFY(std::chrono::steady_clock::now() - started < std::chrono::seconds(10));
        QCOMPARE(shown.size(), std::size_t {1});
        QVERIFY2(shown[0].text.contains(message), qPrintable(shown[0].text));
        QVERIFY(!shown[0].text.contains(QStringLiteral("tajne")));
        QVERIFY(
            !ui::testProgramSettings().value(QLatin1String(kDatabaseKey)).toString().contains(QStringLiteral("tajne")));
        QCOMPARE(window.model().totalCount(), 0);
        QVERIFY(window.findChild<QPushButton*>(QStringLiteral("refreshPushButton"))->isEnabled());

        open(window, this->conninfo());
        QCOMPARE(window.model().totalCount(), 7);
        QVERIFY(ui::MessageBox::takeShown().empty());
    }

    void saysWhenTheServerStopsAndListsAgainOnceBack()
    {
        ReportWindow window;
        window.setDatabaseOpener(opener());
        window.show();
        open(window, conninfo());
        QCOMPARE(window.model().totalCount(), 7);
        server().stop();
        // The chosen test's protocol from a server that went away: a box, no protocol, the list stays.
        window.findChild<QTableView*>(QStringLiteral("testsTableView"))->selectRow(2);
        QVERIFY(!window.currentProtocol());
        std::vector<ui::MessageBox::Shown> shown = ui::MessageBox::takeShown();
        QCOMPARE(shown.size(), std::size_t {1});
        QCOMPARE(window.model().totalCount(), 7);
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("refreshPushButton")), Qt::LeftButton);
        shown = settle(window);
        QCOMPARE(shown.size(), std::size_t {1});
        QVERIFY2(shown[0].text.contains(QStringLiteral("Cannot connect to the database")), qPrintable(shown[0].text));
        server().start();
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("refreshPushButton")), Qt::LeftButton);
        QVERIFY(settle(window).empty());
        QCOMPARE(window.model().totalCount(), 7);
        QVERIFY(window.currentProtocol());
    }

    // "Zastavit čtení" while the server is still being asked: the reading ends as stopped, nothing is
    // listed, nothing said in a box, and the window lists the database when asked again.
    void stopsAReadingWhenAsked()
    {
        std::atomic<bool> release {false};
        ReportWindow window;
        window.setDatabaseOpener([&release](const std::string& conninfo) -> std::unique_ptr<TestSource> {
            auto source = std::make_unique<database::DatabaseSource>(conninfo);
            while (!release.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return source;
        });
        window.show();
        window.openDatabase(conninfo());
        QTest::qWait(50);
        QVERIFY(window.isLoading());
        QVERIFY(!window.findChild<QTableView*>(QStringLiteral("testsTableView"))->isEnabled());
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cancelLoadPushButton")), Qt::LeftButton);
        release = true;
        QVERIFY(settle(window).empty());
        QCOMPARE(window.model().totalCount(), 0);
        QVERIFY(window.statusBar()->currentMessage().contains(QStringLiteral("zastaveno")));
        QVERIFY(window.findChild<QTableView*>(QStringLiteral("testsTableView"))->isEnabled());
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("refreshPushButton")), Qt::LeftButton);
        QVERIFY(settle(window).empty());
        QCOMPARE(window.model().totalCount(), 7);
    }
};

} // namespace report::gui

QTEST_MAIN(report::gui::DatabaseWindowTest)
#include "database_window_test.moc"
