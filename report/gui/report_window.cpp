#include "report/gui/report_window.h"

#include "report/gui/database_filter_bar.h"
#include "report/gui/norm_choice.h"
#include "report/gui/protocol_output.h"
#include "report/pseudonymised.h"
#include "ui/common/application.h"
#include "ui/common/message_box.h"
#include "ui/common/remembered_folder.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace report::gui {

namespace {

QString defaultChooser(QWidget* parent, const QString& caption, const QString& suggested, const QString& filters,
                       QString* selectedFilter)
{
    return QFileDialog::getSaveFileName(parent, caption, suggested, filters, selectedFilter);
}

QString defaultOpenChooser(QWidget* parent, const QString& caption, const QString& filters)
{
    return QFileDialog::getOpenFileName(parent, caption, QString(), filters);
}

QString defaultKeyChooser(QWidget* parent, const QString& caption, const QString& suggested, const QString& filters,
                          QString* selectedFilter)
{
    return QFileDialog::getOpenFileName(parent, caption, suggested, filters, selectedFilter);
}

QString defaultConnectionChooser(QWidget* parent, const QString& remembered)
{
    return QInputDialog::getText(parent, QStringLiteral("Otevřít databázi"),
                                 QStringLiteral("Připojení k centrální databázi (connection string nebo URI, bez "
                                                "hesla;\nheslo se bere ze souboru ~/.pgpass, ve Windows "
                                                "%APPDATA%\\postgresql\\pgpass.conf, nebo z PGPASSWORD):"),
                                 QLineEdit::Normal, remembered)
        .trimmed();
}

QPushButton* makeButton(const QString& text, const QString& objectName, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    return button;
}

} // namespace

ReportWindow::ReportWindow(AnalysisOptions options, QWidget* parent)
    : QMainWindow(parent)
    , m_options(options)
    , m_chooseFile(defaultChooser)
    , m_chooseNorm(defaultOpenChooser)
    , m_chooseKey(defaultKeyChooser)
    , m_chooseConnection(defaultConnectionChooser)
{
    setWindowTitle(QStringLiteral("Tivora – výsledky"));
    buildWidgets();
    updateButtons();
    resize(1200, 800);
}

ReportWindow::~ReportWindow() = default;

void ReportWindow::buildWidgets()
{
    auto* splitter = new QSplitter(this);
    splitter->addWidget(buildTestList());
    splitter->addWidget(buildProtocolPane());
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({470, 730});
    setCentralWidget(splitter);
    buildLoading();
    connectActions();
}

QWidget* ReportWindow::buildTestList()
{
    auto* left = new QWidget(this);
    m_filter = new QLineEdit(left);
    m_filter->setObjectName(QStringLiteral("filterLineEdit"));
    m_filter->setPlaceholderText(QStringLiteral("Hledat příjmení, jméno nebo rodné číslo"));
    m_filter->setClearButtonEnabled(true);
    m_model = new TestsModel(this);
    m_list = new QTableView(left);
    m_list->setObjectName(QStringLiteral("testsTableView"));
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->horizontalHeader()->setStretchLastSection(true);
    m_countLabel = new QLabel(left);
    m_countLabel->setObjectName(QStringLiteral("countLabel"));
    m_open = makeButton(QStringLiteral("Otevřít tabulku…"), QStringLiteral("openPushButton"), left);
    m_openDatabaseButton
        = makeButton(QStringLiteral("Otevřít databázi…"), QStringLiteral("openDatabasePushButton"), left);
    m_openDatabaseButton->hide(); // until the program gives database access
    m_databaseFilter = new DatabaseFilterBar(left);
    m_databaseFilter->setObjectName(QStringLiteral("databaseFilterBar"));
    m_databaseFilter->hide();
    m_reload = makeButton(QStringLiteral("Obnovit"), QStringLiteral("refreshPushButton"), left);
    m_exportAll = makeButton(QStringLiteral("Exportovat vše…"), QStringLiteral("exportAllPushButton"), left);
    m_exportShown = makeButton(QStringLiteral("Exportovat zobrazené…"), QStringLiteral("exportShownPushButton"), left);
    auto* leftLayout = new QVBoxLayout(left);
    auto* tableButtons = new QHBoxLayout;
    tableButtons->addWidget(m_open);
    tableButtons->addWidget(m_openDatabaseButton);
    tableButtons->addWidget(m_reload);
    tableButtons->addStretch();
    leftLayout->addLayout(tableButtons);
    leftLayout->addWidget(m_databaseFilter);
    leftLayout->addWidget(m_filter);
    leftLayout->addWidget(m_list, 1);
    leftLayout->addWidget(m_countLabel);
    auto* exportButtons = new QHBoxLayout;
    exportButtons->addWidget(m_exportAll);
    exportButtons->addWidget(m_exportShown);
    m_pseudonymise = new QCheckBox(QStringLiteral("Bez jmen a rodných čísel (pseudonymy)"), left);
    m_pseudonymise->setObjectName(QStringLiteral("pseudonymiseCheckBox"));
    m_pseudonymise->setToolTip(QStringLiteral("Místo jména a rodného čísla export uvede pseudonym podle klíče "
                                              "laboratoře, věk při vyšetření a pohlaví."));
    exportButtons->addWidget(m_pseudonymise);
    leftLayout->addLayout(exportButtons);
    return left;
}

QWidget* ReportWindow::buildProtocolPane()
{
    auto* right = new QWidget(this);
    m_previewPrinter = new QPrinter(QPrinter::HighResolution);
    m_preview = new QPrintPreviewWidget(m_previewPrinter, right);
    m_preview->setObjectName(QStringLiteral("protocolPreview"));
    m_print = makeButton(QStringLiteral("Tisk…"), QStringLiteral("printPushButton"), right);
    m_savePdf = makeButton(QStringLiteral("Uložit jako PDF…"), QStringLiteral("savePdfPushButton"), right);
    m_chooseNormButton = makeButton(QStringLiteral("Norma…"), QStringLiteral("chooseNormPushButton"), right);
    m_clearNorm = makeButton(QStringLiteral("Bez normy"), QStringLiteral("clearNormPushButton"), right);
    m_normLabel = new QLabel(right);
    m_normLabel->setObjectName(QStringLiteral("normLabel"));
    auto* rightLayout = new QVBoxLayout(right);
    auto* protocolButtons = new QHBoxLayout;
    protocolButtons->addWidget(m_chooseNormButton);
    protocolButtons->addWidget(m_clearNorm);
    protocolButtons->addWidget(m_normLabel, 1);
    protocolButtons->addWidget(m_print);
    protocolButtons->addWidget(m_savePdf);
    rightLayout->addWidget(m_preview, 1);
    rightLayout->addLayout(protocolButtons);
    return right;
}

void ReportWindow::buildLoading()
{
    m_loadProgress = new QProgressBar(this);
    m_loadProgress->setObjectName(QStringLiteral("loadProgressBar"));
    m_loadProgress->setMaximumWidth(240);
    m_loadProgress->setFormat(QStringLiteral("Čtení tabulky %p %"));
    m_cancelLoad = makeButton(QStringLiteral("Zastavit čtení"), QStringLiteral("cancelLoadPushButton"), this);
    statusBar()->addPermanentWidget(m_loadProgress);
    statusBar()->addPermanentWidget(m_cancelLoad);
    m_loadProgress->hide();
    m_cancelLoad->hide();
    m_loader = new TableLoader(this);
    connect(m_cancelLoad, &QPushButton::clicked, m_loader, &TableLoader::cancel);
    connect(m_loader, &TableLoader::progress, this, [this](quint32 done, quint32 total) {
        if (total == 0) {
            // The database does not say how many will come: the bar stays busy, the count is told.
            statusBar()->showMessage(QStringLiteral("Načteno %1 vyšetření…").arg(done));
            return;
        }
        m_loadProgress->setRange(0, 1000);
        m_loadProgress->setValue(static_cast<int>(std::uint64_t {done} * 1000 / total));
    });
    connect(m_loader, &TableLoader::finished, this, [this] { ui::guarded(this, [&] { showLoaded(); }); });
    connect(m_loader, &TableLoader::failed, this, [this](const QString& message) {
        ui::guarded(this, [&] {
            setWindowTitle(QStringLiteral("Tivora – výsledky")); // nothing is shown
            statusBar()->clearMessage();
            endLoading();
            ui::Application::showError(this, message);
        });
    });
    connect(m_loader, &TableLoader::cancelled, this, [this] {
        ui::guarded(this, [&] {
            endLoading();
            statusBar()->showMessage(
                showsDatabase()
                    ? QStringLiteral("Čtení databáze bylo zastaveno.")
                    : QStringLiteral("Čtení tabulky %1 bylo zastaveno.").arg(QDir::toNativeSeparators(m_loadingPath)));
        });
    });
}

void ReportWindow::connectActions()
{
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        ui::guarded(this, [&] {
            const std::uint64_t keep = currentTest();
            m_model->setFilter(text);
            const int row = m_model->rowOfId(keep);
            m_list->selectRow(row >= 0 ? row : 0);
            chooseCurrentRow();
        });
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ui::guarded(this, [&] { chooseCurrentRow(); }); });
    connect(m_preview, &QPrintPreviewWidget::paintRequested, this,
            [this](QPrinter* printer) { ui::guarded(this, [&] { paintPreview(printer); }); });
    connect(m_open, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { openWithDialog(); }); });
    connect(m_openDatabaseButton, &QPushButton::clicked, this,
            [this] { ui::guarded(this, [&] { openDatabaseWithDialog(); }); });
    connect(m_databaseFilter, &DatabaseFilterBar::applied, this,
            [this] { ui::guarded(this, [&] { applyDatabaseFilter(); }); });
    connect(m_reload, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { refresh(); }); });
    connect(m_chooseNormButton, &QPushButton::clicked, this,
            [this] { ui::guarded(this, [&] { chooseNormWithDialog(); }); });
    connect(m_clearNorm, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { chooseNormFile({}); }); });
    auto* reloadKey = new QShortcut(QKeySequence::Refresh, this);
    connect(reloadKey, &QShortcut::activated, this, [this] {
        ui::guarded(this, [&] {
            if (!isLoading()) {
                refresh();
            }
        });
    });
    connect(m_print, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { printChosen(); }); });
    connect(m_savePdf, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { saveChosenAsPdf(); }); });
    connect(m_exportAll, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { exportWithDialog(false); }); });
    connect(m_exportShown, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { exportWithDialog(true); }); });
}

void ReportWindow::openTable(const QString& path)
{
    m_database.clear();
    m_databaseFilter->hide();
    m_loadingPath = path;
    startLoading(0);
}

void ReportWindow::refresh()
{
    if (!m_loadingPath.isEmpty() || showsDatabase()) {
        startLoading(currentTest());
    }
}

bool ReportWindow::isLoading() const
{
    return m_loader->running();
}

void ReportWindow::startLoading(std::uint64_t keep)
{
    // The reading thread has the table to itself: what this window read of it before goes first.
    m_content.reset();
    m_currentId = 0;
    m_timing.reset();
    m_reader.reset();
    m_source.reset();
    m_model->setTests({});
    m_keep = keep;
    m_loadProgress->setFormat(showsDatabase() ? QStringLiteral("Čtení databáze")
                                              : QStringLiteral("Čtení tabulky %p %"));
    m_loadProgress->setRange(0, 0); // busy until the rows are counted
    m_loadProgress->show();
    m_cancelLoad->show();
    m_list->setEnabled(false);
    m_filter->setEnabled(false);
    m_databaseFilter->setEnabled(false);
    m_preview->updatePreview();
    if (showsDatabase()) {
        m_loader->startDatabase(m_openDatabase, m_database.toStdString(), m_testFilter);
    } else {
        m_loader->start(m_loadingPath);
    }
    updateButtons();
}

void ReportWindow::endLoading()
{
    m_loadProgress->hide();
    m_cancelLoad->hide();
    m_list->setEnabled(true);
    m_filter->setEnabled(true);
    m_databaseFilter->setEnabled(true);
    if (showsDatabase() && !m_list->hasFocus()) {
        m_databaseFilter->setFocus();
    }
    updateButtons();
    chooseCurrentRow();
}

void ReportWindow::showLoaded()
{
    TableLoader::Result result = m_loader->takeResult();
    if (result.source) {
        showLoadedDatabase(result);
    } else {
        m_reader = std::move(result.reader);
        m_timing = std::move(result.timing);
        // A timing record that cannot be used leaves the table's own values; the status line says why.
        statusBar()->showMessage(result.timingNote);
        m_model->setTests(std::move(result.tests));
        setWindowTitle(QStringLiteral("Tivora – výsledky – %1").arg(QDir::toNativeSeparators(m_loadingPath)));
    }
    m_list->resizeColumnsToContents();
    const int row = m_model->rowOfId(m_keep);
    m_list->selectRow(row >= 0 ? row : 0);
    endLoading();
}

void ReportWindow::chooseCurrentRow()
{
    const QModelIndex current = m_list->selectionModel()->currentIndex();
    const std::uint64_t id = m_model->idAt(current.isValid() ? current.row() : -1);
    if (id != currentTest() || (id != 0 && !m_content)) {
        showTest(id);
    }
    m_countLabel->setText(
        QStringLiteral("Zobrazeno %1 z %2 vyšetření").arg(m_model->rowCount()).arg(m_model->totalCount()));
}

void ReportWindow::showTest(std::uint64_t id)
{
    m_content.reset();
    m_currentId = id;
    try {
        if (id != 0 && m_reader) {
            m_content = loadProtocol(*m_reader, m_timing.get(), static_cast<std::uint32_t>(id), &m_model->tests(),
                                     m_options, m_norms);
        } else if (id != 0 && m_source) {
            m_content = loadProtocol(*m_source, id, m_options, m_norms);
        }
    } catch (...) {
        // The list goes on without a protocol; the box says why.
        updateButtons();
        m_preview->updatePreview();
        throw;
    }
    updateButtons();
    m_preview->updatePreview();
}

void ReportWindow::paintPreview(QPrinter* printer)
{
    if (m_content) {
        printProtocol(*printer, *m_content);
    }
}

void ReportWindow::updateButtons()
{
    m_print->setEnabled(m_content.has_value());
    m_savePdf->setEnabled(m_content.has_value());
    const bool read = m_reader != nullptr || m_source != nullptr;
    m_exportAll->setEnabled(read);
    m_exportShown->setEnabled(read && m_model->rowCount() > 0);
    m_reload->setEnabled(!isLoading() && (!m_loadingPath.isEmpty() || showsDatabase()));
    m_clearNorm->setEnabled(m_norms.table != nullptr);
}

void ReportWindow::openWithDialog()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Otevřít tabulku výsledků"), QString(),
                                                      QStringLiteral("Tabulky (*.DBF *.dbf)"));
    if (!path.isEmpty()) {
        openTable(path);
    }
}

} // namespace report::gui
