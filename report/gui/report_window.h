#pragma once

#include "report/command_line.h"
#include "report/export.h"
#include "report/gui/protocol_content.h"
#include "report/gui/table_loader.h"
#include "report/gui/tests_model.h"
#include "report/results_reader.h"
#include "report/timing_record.h"

#include <functional>
#include <memory>
#include <optional>

#include <QMainWindow>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPrintPreviewWidget;
class QProgressBar;
class QPrinter;
class QPushButton;
class QTableView;

namespace report::gui {

class DatabaseFilterBar;

// The key of the database opened last in the user's settings (ui::testProgramSettings()); never holds a
// password, as a connection string with one is refused before anything is opened.
inline constexpr const char* kDatabaseKey = "reportDatabase";

// The examiner's window: the table's tests newest first, filtered as one types a name or a birth number;
// the chosen test's protocol in a print preview; Print, Save as PDF, and Export of the whole table or of
// the tests shown. It opens the central database the same way: the office and station as columns, the
// tests chosen by office, station, period and person. Errors are shown in a message box and the window
// goes on.
class ReportWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Asks for a file name (a file dialog in the program; tests answer it). Returns an empty text when
    // the examiner cancels. `selectedFilter` receives the filter chosen, when not null.
    using FileChooser = std::function<QString(QWidget* parent, const QString& caption, const QString& suggested,
                                              const QString& filters, QString* selectedFilter)>;

    // Asks for a connection string (a dialog in the program; tests answer it), `remembered` offered.
    // Returns an empty text when the examiner cancels.
    using ConnectionChooser = std::function<QString(QWidget* parent, const QString& remembered)>;

    explicit ReportWindow(AnalysisOptions options = {}, QWidget* parent = nullptr);
    ~ReportWindow() override;

    // Opens the table at `path` read-only and lists its tests, the newest chosen. The table is read on a
    // thread of its own, with its progress in the status line and a button that stops it; the window
    // goes on meanwhile. Errors are shown in a box once the reading ends.
    void openTable(const QString& path);
    // With database access (`open` makes the source; called on the reading thread), the window offers
    // "Otevřít databázi…".
    void setDatabaseOpener(DatabaseOpener open);
    // Connects to the database `conninfo` (a libpq connection string or URI without a password) and
    // lists its tests that pass `filter`, as openTable() reads a table: on a thread of its own, with
    // progress, stoppable, a server that cannot be reached said in a box within the connect timeout.
    // Once listed, the connection string is remembered (kDatabaseKey).
    void openDatabase(const QString& conninfo, const TestFilter& filter = {});
    // Reads the table or lists the database again (as openTable() and openDatabase()): rows other
    // stations stored meanwhile appear. Keeps the chosen test.
    void refresh();
    // True while a table is being read or the database listed.
    bool isLoading() const;
    // True when the database is shown (or being listed).
    bool showsDatabase() const { return !m_database.isEmpty(); }
    // The database's tests are listed by this filter.
    const TestFilter& databaseFilter() const { return m_testFilter; }

    // How the source names the chosen test (the table's record, the database's test number); 0 when none.
    std::uint64_t currentTest() const { return m_content ? m_currentId : 0; }

    // The record of the chosen test, 0 when none.
    std::uint32_t currentRecord() const { return m_content ? m_content->test.identity.record : 0; }
    // The chosen test's protocol, when one is chosen.
    const ProtocolContent* currentProtocol() const { return m_content ? &*m_content : nullptr; }
    TestsModel& model() { return *m_model; }

    // Writes the tests shown (`onlyShown`) or the whole table (every test of the database the filter
    // chose) to `path` in `format`, as the export command writes them. Returns what was written. Throws
    // ReportError, storage::TableError and what reading the database throws. With `key`, the export is
    // pseudonymised (pseudonymised.h).
    ExportSummary exportTo(const QString& path, ExportFormat format, bool onlyShown,
                           const std::optional<crypto::Key>& key = std::nullopt);

    // Test seam for the file dialogs.
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // Test seam for the dialog that picks the key file of a pseudonymised export (an open dialog in the
    // program; `suggested` is the key file chosen last).
    void setKeyChooser(FileChooser chooser) { m_chooseKey = std::move(chooser); }
    // Test seam for the connection dialog.
    void setConnectionChooser(ConnectionChooser chooser) { m_chooseConnection = std::move(chooser); }

    // Asks for a file to open (a file dialog in the program; tests answer it). Empty when cancelled.
    using OpenChooser = std::function<QString(QWidget* parent, const QString& caption, const QString& filters)>;
    void setNormChooser(OpenChooser chooser) { m_chooseNorm = std::move(chooser); }

    // Ranks the protocols and exports by the norm file at `path` from now on, and remembers it for the next
    // start; an empty path ranks by none. A file that cannot be read or is damaged is named in a box with
    // the reader's message and the norm chosen before stays. Returns whether the choice took.
    bool chooseNormFile(const QString& path);
    // Reads the norm remembered from the last run, if any; one that cannot be read any more is named in
    // the status line only, and none is used.
    void restoreNormFile();
    // The whole PR below which a result is below the threshold (16 unless set).
    void setNormThreshold(int thresholdPr);
    // The norm ranked by; its table is null when none is chosen.
    const norms::NormRanking& normRanking() const { return m_norms; }

private:
    void buildWidgets();
    // The list of tests with its search, open and export buttons (left), and the protocol's preview with
    // its norm, print and PDF buttons (right).
    QWidget* buildTestList();
    QWidget* buildProtocolPane();
    // The reading's progress and its stop button in the status bar, and the loader's signals.
    void buildLoading();
    // The buttons', the search's and the list's actions.
    void connectActions();
    void startLoading(std::uint64_t keep);
    void showLoaded();
    void showLoadedDatabase(TableLoader::Result& result);
    void endLoading();
    void showTest(std::uint64_t id);
    void chooseCurrentRow();
    void updateButtons();
    void printChosen();
    void saveChosenAsPdf();
    void exportWithDialog(bool onlyShown);
    void paintPreview(QPrinter* printer);
    void openWithDialog();
    void chooseNormWithDialog();
    void showNormChoice();
    void openDatabaseWithDialog();
    void applyDatabaseFilter();
    ExportSummary exportDatabase(const std::string& path, const ExportOptions& options, bool onlyShown);

    AnalysisOptions m_options;
    TableLoader* m_loader = nullptr;
    QString m_loadingPath;    // the table being read, or the one shown
    QString m_database;       // or the database's connection string
    TestFilter m_testFilter;  // the database's tests listed
    std::uint64_t m_keep = 0; // the test to choose again when the reading ends
    std::unique_ptr<ResultsReader> m_reader;
    std::unique_ptr<TimingRecord> m_timing;
    std::unique_ptr<TestSource> m_source; // the database, once listed
    std::optional<ProtocolContent> m_content;
    std::uint64_t m_currentId = 0; // of m_content
    FileChooser m_chooseFile;
    OpenChooser m_chooseNorm;
    norms::NormRanking m_norms;
    QString m_normPath;
    FileChooser m_chooseKey;
    ConnectionChooser m_chooseConnection;
    DatabaseOpener m_openDatabase;

    TestsModel* m_model = nullptr;
    QLineEdit* m_filter = nullptr;
    QTableView* m_list = nullptr;
    QLabel* m_countLabel = nullptr;
    QPrintPreviewWidget* m_preview = nullptr;
    QPushButton* m_print = nullptr;
    QPushButton* m_savePdf = nullptr;
    QPushButton* m_exportAll = nullptr;
    QPushButton* m_exportShown = nullptr;
    QCheckBox* m_pseudonymise = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_openDatabaseButton = nullptr;
    DatabaseFilterBar* m_databaseFilter = nullptr;
    QPushButton* m_reload = nullptr;
    QPushButton* m_chooseNormButton = nullptr;
    QPushButton* m_clearNorm = nullptr;
    QLabel* m_normLabel = nullptr;
    QProgressBar* m_loadProgress = nullptr;
    QPushButton* m_cancelLoad = nullptr;
    QPrinter* m_previewPrinter = nullptr;
};

} // namespace report::gui
