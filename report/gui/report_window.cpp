#include "report/gui/report_window.h"

#include "report/gui/norm_choice.h"
#include "report/gui/protocol_output.h"
#include "ui/common/application.h"
#include "ui/common/message_box.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace report::gui {

namespace {

const QString kTestsCsvFilter = QStringLiteral("Tabulka CSV, řádek na vyšetření (*.csv)");
const QString kXlsxFilter = QStringLiteral("Sešit Excel (*.xlsx)");
const QString kTrialsCsvFilter = QStringLiteral("Tabulka CSV, řádek na pokus (*.csv)");

QString defaultChooser(QWidget* parent, const QString& caption, const QString& suggested, const QString& filters,
                       QString* selectedFilter)
{
    return QFileDialog::getSaveFileName(parent, caption, suggested, filters, selectedFilter);
}

QString defaultOpenChooser(QWidget* parent, const QString& caption, const QString& filters)
{
    return QFileDialog::getOpenFileName(parent, caption, QString(), filters);
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
{
    setWindowTitle(QStringLiteral("Tivora – výsledky"));
    buildWidgets();
    updateButtons();
    resize(1200, 800);
}

ReportWindow::~ReportWindow() = default;

void ReportWindow::buildWidgets()
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
    m_reload = makeButton(QStringLiteral("Obnovit"), QStringLiteral("refreshPushButton"), left);
    m_exportAll = makeButton(QStringLiteral("Exportovat vše…"), QStringLiteral("exportAllPushButton"), left);
    m_exportShown = makeButton(QStringLiteral("Exportovat zobrazené…"), QStringLiteral("exportShownPushButton"), left);
    auto* leftLayout = new QVBoxLayout(left);
    auto* tableButtons = new QHBoxLayout;
    tableButtons->addWidget(m_open);
    tableButtons->addWidget(m_reload);
    tableButtons->addStretch();
    leftLayout->addLayout(tableButtons);
    leftLayout->addWidget(m_filter);
    leftLayout->addWidget(m_list, 1);
    leftLayout->addWidget(m_countLabel);
    auto* exportButtons = new QHBoxLayout;
    exportButtons->addWidget(m_exportAll);
    exportButtons->addWidget(m_exportShown);
    leftLayout->addLayout(exportButtons);

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

    auto* splitter = new QSplitter(this);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({470, 730});
    setCentralWidget(splitter);

    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        ui::guarded(this, [&] {
            const std::uint32_t keep = currentRecord();
            m_model->setFilter(text);
            const int row = m_model->rowOf(keep);
            m_list->selectRow(row >= 0 ? row : 0);
            chooseCurrentRow();
        });
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ui::guarded(this, [&] { chooseCurrentRow(); }); });
    connect(m_preview, &QPrintPreviewWidget::paintRequested, this,
            [this](QPrinter* printer) { ui::guarded(this, [&] { paintPreview(printer); }); });
    connect(m_open, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { openWithDialog(); }); });
    connect(m_reload, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { refresh(); }); });
    connect(m_chooseNormButton, &QPushButton::clicked, this,
            [this] { ui::guarded(this, [&] { chooseNormWithDialog(); }); });
    connect(m_clearNorm, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { chooseNormFile({}); }); });

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
        m_loadProgress->setRange(0, 1000);
        m_loadProgress->setValue(total == 0 ? 0 : static_cast<int>(std::uint64_t {done} * 1000 / total));
    });
    connect(m_loader, &TableLoader::finished, this, [this] { ui::guarded(this, [&] { showLoaded(); }); });
    connect(m_loader, &TableLoader::failed, this, [this](const QString& message) {
        ui::guarded(this, [&] {
            endLoading();
            ui::Application::showError(this, message);
        });
    });
    connect(m_loader, &TableLoader::cancelled, this, [this] {
        ui::guarded(this, [&] {
            endLoading();
            statusBar()->showMessage(
                QStringLiteral("Čtení tabulky %1 bylo zastaveno.").arg(QDir::toNativeSeparators(m_loadingPath)));
        });
    });
    connect(m_print, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { printChosen(); }); });
    connect(m_savePdf, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { saveChosenAsPdf(); }); });
    connect(m_exportAll, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { exportWithDialog(false); }); });
    connect(m_exportShown, &QPushButton::clicked, this, [this] { ui::guarded(this, [&] { exportWithDialog(true); }); });
}

void ReportWindow::openTable(const QString& path)
{
    startLoading(path, 0);
}

void ReportWindow::refresh()
{
    if (!m_loadingPath.isEmpty()) {
        startLoading(m_loadingPath, currentRecord());
    }
}

bool ReportWindow::isLoading() const
{
    return m_loader->running();
}

void ReportWindow::startLoading(const QString& path, std::uint32_t keep)
{
    // The reading thread has the table to itself: what this window read of it before goes first.
    m_content.reset();
    m_timing.reset();
    m_reader.reset();
    m_model->setTests({});
    m_loadingPath = path;
    m_keep = keep;
    m_loadProgress->setRange(0, 0); // busy until the rows are counted
    m_loadProgress->show();
    m_cancelLoad->show();
    m_list->setEnabled(false);
    m_filter->setEnabled(false);
    m_preview->updatePreview();
    m_loader->start(path);
    updateButtons();
}

void ReportWindow::endLoading()
{
    m_loadProgress->hide();
    m_cancelLoad->hide();
    m_list->setEnabled(true);
    m_filter->setEnabled(true);
    updateButtons();
    chooseCurrentRow();
}

void ReportWindow::showLoaded()
{
    TableLoader::Result result = m_loader->takeResult();
    m_reader = std::move(result.reader);
    m_timing = std::move(result.timing);
    // A timing record that cannot be used leaves the table's own values; the status line says why.
    statusBar()->showMessage(result.timingNote);
    m_model->setTests(std::move(result.tests));
    setWindowTitle(QStringLiteral("Tivora – výsledky – %1").arg(QDir::toNativeSeparators(m_loadingPath)));
    m_list->resizeColumnsToContents();
    const int row = m_model->rowOf(m_keep);
    m_list->selectRow(row >= 0 ? row : 0);
    endLoading();
}

void ReportWindow::chooseCurrentRow()
{
    const QModelIndex current = m_list->selectionModel()->currentIndex();
    const std::uint32_t record = m_model->recordAt(current.isValid() ? current.row() : -1);
    if (record != currentRecord() || (record != 0 && !m_content)) {
        showTest(record);
    }
    m_countLabel->setText(
        QStringLiteral("Zobrazeno %1 z %2 vyšetření").arg(m_model->rowCount()).arg(m_model->totalCount()));
}

void ReportWindow::showTest(std::uint32_t record)
{
    m_content.reset();
    if (record != 0 && m_reader) {
        m_content = loadProtocol(*m_reader, m_timing.get(), record, &m_model->tests(), m_options, m_norms);
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
    m_exportAll->setEnabled(m_reader != nullptr);
    m_exportShown->setEnabled(m_reader != nullptr && m_model->rowCount() > 0);
    m_reload->setEnabled(!isLoading() && !m_loadingPath.isEmpty());
    m_clearNorm->setEnabled(m_norms.table != nullptr);
}

void ReportWindow::printChosen()
{
    if (!m_content) {
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) {
        printProtocol(printer, *m_content);
    }
}

void ReportWindow::saveChosenAsPdf()
{
    if (!m_content) {
        return;
    }
    const TestIdentity& who = m_content->test.identity;
    const QString suggested
        = QStringLiteral("protokol-%1-%2.pdf").arg(QString::fromStdString(who.surname), QString::number(who.record));
    const QString path = m_chooseFile(this, QStringLiteral("Uložit protokol jako PDF"), suggested,
                                      QStringLiteral("PDF (*.pdf)"), nullptr);
    if (!path.isEmpty()) {
        refuseToReplaceInputs(path.toStdString(), m_reader->path());
        writeProtocolPdf(path, *m_content);
        statusBar()->showMessage(QStringLiteral("Protokol uložen do %1").arg(QDir::toNativeSeparators(path)));
    }
}

ExportSummary ReportWindow::exportTo(const QString& path, ExportFormat format, bool onlyShown)
{
    ExportOptions options;
    options.format = format;
    options.analysis = m_options;
    options.norms = m_norms;
    // Spreadsheets of a locale with a decimal comma expect ";" between the cells.
    if (QLocale::system().decimalPoint() == QStringLiteral(",")) {
        options.csv.delimiter = ';';
        options.csv.decimalComma = true;
    }
    const std::vector<std::uint32_t> records = m_model->shownRecords();
    return exportTests(*m_reader, m_timing.get(), path.toStdString(), options, onlyShown ? &records : nullptr);
}

void ReportWindow::exportWithDialog(bool onlyShown)
{
    if (!m_reader) {
        return;
    }
    QString filter = kTestsCsvFilter;
    const QString path = m_chooseFile(
        this, onlyShown ? QStringLiteral("Exportovat zobrazená vyšetření") : QStringLiteral("Exportovat celou tabulku"),
        QStringLiteral("vysledky.csv"),
        kTestsCsvFilter + QStringLiteral(";;") + kXlsxFilter + QStringLiteral(";;") + kTrialsCsvFilter, &filter);
    if (path.isEmpty()) {
        return;
    }
    const bool xlsx = filter == kXlsxFilter || path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
    const ExportFormat format
        = xlsx ? ExportFormat::Xlsx : (filter == kTrialsCsvFilter ? ExportFormat::Trials : ExportFormat::Csv);
    const ExportSummary summary = exportTo(path, format, onlyShown);
    QString message
        = QStringLiteral("Exportováno %1 vyšetření do %2.").arg(summary.tests).arg(QDir::toNativeSeparators(path));
    if (summary.rowsWithErrors > 0) {
        message += QStringLiteral("\n\n%1 vyšetření nešlo přečíst celé; popis je ve sloupci „issues“.")
                       .arg(summary.rowsWithErrors);
    }
    ui::MessageBox::show(this, ui::MessageBox::Icon::None, ui::Application::title(), message);
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

namespace report::gui {

bool ReportWindow::chooseNormFile(const QString& path)
{
    try {
        norms::NormRanking ranking;
        ranking.thresholdPr = m_norms.thresholdPr;
        if (!path.isEmpty()) {
            ranking = readNormRanking(path, m_norms.thresholdPr);
        }
        m_norms = std::move(ranking);
    } catch (const std::exception& error) {
        ui::Application::showError(this, QStringLiteral("Normu nelze použít: %1").arg(QString::fromUtf8(error.what())));
        return false;
    }
    m_normPath = path;
    rememberNormFile(path);
    showNormChoice();
    return true;
}

void ReportWindow::restoreNormFile()
{
    const QString path = rememberedNormFile();
    if (path.isEmpty()) {
        return;
    }
    try {
        m_norms = readNormRanking(path, m_norms.thresholdPr);
        m_normPath = path;
    } catch (const std::exception& error) {
        statusBar()->showMessage(QStringLiteral("Normu nelze použít: %1").arg(QString::fromUtf8(error.what())));
    }
    showNormChoice();
}

void ReportWindow::setNormThreshold(int thresholdPr)
{
    m_norms.thresholdPr = thresholdPr;
    showNormChoice();
}

void ReportWindow::chooseNormWithDialog()
{
    const QString path = m_chooseNorm(this, QStringLiteral("Vybrat normu"), QStringLiteral("Normy (*.csv)"));
    if (!path.isEmpty()) {
        chooseNormFile(path);
    }
}

void ReportWindow::showNormChoice()
{
    m_normLabel->setText(describeNormChoice(m_norms, QDir::toNativeSeparators(m_normPath)));
    updateButtons();
    // The protocol shown is read again with the new ranks.
    const std::uint32_t record = currentRecord();
    if (record != 0) {
        showTest(record);
    }
}

} // namespace report::gui
