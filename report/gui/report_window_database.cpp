// The window's central database: opening it, choosing its tests, exporting them.
#include "report/gui/database_filter_bar.h"
#include "report/gui/report_window.h"
#include "report/source_export.h"
#include "ui/common/remembered_folder.h"

#include <set>
#include <unordered_set>

#include <QPushButton>
#include <QStatusBar>

namespace report::gui {

namespace {

// The tests of a source the window shows: those the examiner's search left in the list.
class ShownTests : public TestSource
{
public:
    ShownTests(TestSource& source, const std::vector<std::uint64_t>& ids)
        : m_source(source)
        , m_ids(ids.begin(), ids.end())
    { }

    std::string describe() const override { return m_source.describe(); }
    bool hasPlaces() const override { return m_source.hasPlaces(); }
    void refuseAsOutput(const std::string& output) const override { m_source.refuseAsOutput(output); }
    void forEach(const TestFilter& filter, const Visit& visit, const Progress& progress) override
    {
        m_source.forEach(
            filter,
            [&](const SourcedTest& test) {
                if (m_ids.count(test.id) != 0) {
                    visit(test);
                }
            },
            progress);
    }
    SourcedTest read(std::uint64_t id) override { return m_source.read(id); }
    std::vector<HistoryPoint> history(const SourcedTest& current, const AnalysisOptions& options, DateOrder order,
                                      int currentYear) override
    {
        return m_source.history(current, options, order, currentYear);
    }

private:
    TestSource& m_source;
    std::unordered_set<std::uint64_t> m_ids;
};

} // namespace

void ReportWindow::setDatabaseOpener(DatabaseOpener open)
{
    m_openDatabase = std::move(open);
    m_openDatabaseButton->setVisible(static_cast<bool>(m_openDatabase));
}

void ReportWindow::openDatabase(const QString& conninfo, const TestFilter& filter)
{
    m_loadingPath.clear();
    m_database = conninfo;
    m_testFilter = filter;
    m_databaseFilter->show();
    m_databaseFilter->setFocus(); // the office is what the examiner chooses next
    startLoading(0);
}

void ReportWindow::openDatabaseWithDialog()
{
    const QString remembered
        = showsDatabase() ? m_database : ui::testProgramSettings().value(QLatin1String(kDatabaseKey)).toString();
    const QString conninfo = m_chooseConnection(this, remembered);
    if (!conninfo.isEmpty()) {
        openDatabase(conninfo, m_databaseFilter->filter());
    }
}

void ReportWindow::applyDatabaseFilter()
{
    if (showsDatabase()) {
        m_testFilter = m_databaseFilter->filter();
        startLoading(currentTest());
    }
}

void ReportWindow::showLoadedDatabase(TableLoader::Result& result)
{
    m_source = std::move(result.source);
    std::set<std::string> offices;
    std::set<std::string> stations;
    for (const TestPlace& place : result.places) {
        offices.insert(place.office);
        stations.insert(place.station);
    }
    m_databaseFilter->offer(offices, stations);
    m_model->setTests(std::move(result.tests), std::move(result.places));
    // The title names the database and the choice, so that a window on one office is told from another.
    QString title = QStringLiteral("Tivora – výsledky – %1").arg(QString::fromStdString(m_source->describe()));
    for (const std::string* chosen : {&m_testFilter.office, &m_testFilter.station}) {
        if (!chosen->empty()) {
            title += QStringLiteral(" – ") + QString::fromStdString(*chosen);
        }
    }
    setWindowTitle(title);
    statusBar()->showMessage(QStringLiteral("Z databáze načteno %1 vyšetření.").arg(m_model->totalCount()));
    // Only a connection string that opened is kept, and one with a password never opens.
    ui::testProgramSettings().setValue(QLatin1String(kDatabaseKey), m_database);
}

ExportSummary ReportWindow::exportDatabase(const std::string& path, const ExportOptions& options, bool onlyShown)
{
    if (!onlyShown) {
        return exportFrom(*m_source, m_testFilter, path, options);
    }
    ShownTests shown(*m_source, m_model->shownIds());
    return exportFrom(shown, m_testFilter, path, options);
}

} // namespace report::gui
