// The report window's output: the protocol printed or saved as PDF, the tests exported.
#include "report/gui/protocol_output.h"
#include "report/gui/report_window.h"
#include "report/pseudonymised.h"
#include "ui/common/application.h"
#include "ui/common/message_box.h"
#include "ui/common/remembered_folder.h"

#include <QCheckBox>
#include <QDir>
#include <QLocale>
#include <QPrintDialog>
#include <QPrinter>
#include <QStatusBar>

namespace report::gui {

namespace {

const QString kTestsCsvFilter = QStringLiteral("Tabulka CSV, řádek na vyšetření (*.csv)");
const QString kXlsxFilter = QStringLiteral("Sešit Excel (*.xlsx)");
const QString kTrialsCsvFilter = QStringLiteral("Tabulka CSV, řádek na pokus (*.csv)");

// The key file of the last pseudonymised export, in the user's settings beside the test folder.
constexpr const char* kPseudonymKeySetting = "report/pseudonymKeyFile";

} // namespace

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
    const QString suggested = QStringLiteral("protokol-%1-%2.pdf")
                                  .arg(QString::fromStdString(who.surname),
                                       QString::number(m_source ? m_currentId : std::uint64_t {who.record}));
    const QString path = m_chooseFile(this, QStringLiteral("Uložit protokol jako PDF"), suggested,
                                      QStringLiteral("PDF (*.pdf)"), nullptr);
    if (!path.isEmpty()) {
        if (m_reader) {
            refuseToReplaceInputs(path.toStdString(), m_reader->path());
        }
        writeProtocolPdf(path, *m_content);
        statusBar()->showMessage(QStringLiteral("Protokol uložen do %1").arg(QDir::toNativeSeparators(path)));
    }
}

ExportSummary ReportWindow::exportTo(const QString& path, ExportFormat format, bool onlyShown,
                                     const std::optional<crypto::Key>& key)
{
    ExportOptions options;
    options.format = format;
    options.pseudonymKey = key;
    options.analysis = m_options;
    options.norms = m_norms;
    // Spreadsheets of a locale with a decimal comma expect ";" between the cells.
    if (QLocale::system().decimalPoint() == QStringLiteral(",")) {
        options.csv.delimiter = ';';
        options.csv.decimalComma = true;
    }
    if (m_source) {
        return exportDatabase(path.toStdString(), options, onlyShown);
    }
    const std::vector<std::uint32_t> records = m_model->shownRecords();
    return exportTests(*m_reader, m_timing.get(), path.toStdString(), options, onlyShown ? &records : nullptr);
}

void ReportWindow::exportWithDialog(bool onlyShown)
{
    if (!m_reader && !m_source) {
        return;
    }
    QString keyPath;
    std::optional<crypto::Key> key;
    if (m_pseudonymise->isChecked()) {
        QSettings settings = ui::testProgramSettings();
        keyPath = m_chooseKey(this, QStringLiteral("Klíč laboratoře pro pseudonymy"),
                              settings.value(QLatin1String(kPseudonymKeySetting)).toString(),
                              QStringLiteral("Klíč (*.key);;Všechny soubory (*)"), nullptr);
        if (keyPath.isEmpty()) {
            return;
        }
        const crypto::KeyFileReading reading = crypto::readKeyFile(keyPath.toStdString());
        key = reading.key;
        settings.setValue(QLatin1String(kPseudonymKeySetting), keyPath);
        if (!reading.warning.empty()) {
            statusBar()->showMessage(QString::fromStdString(reading.warning));
        }
    }
    QString filter = kTestsCsvFilter;
    const QString whole = m_source ? QStringLiteral("Exportovat vybraná vyšetření databáze")
                                   : QStringLiteral("Exportovat celou tabulku");
    const QString path = m_chooseFile(
        this, onlyShown ? QStringLiteral("Exportovat zobrazená vyšetření") : whole, QStringLiteral("vysledky.csv"),
        kTestsCsvFilter + QStringLiteral(";;") + kXlsxFilter + QStringLiteral(";;") + kTrialsCsvFilter, &filter);
    if (path.isEmpty()) {
        return;
    }
    const bool xlsx = filter == kXlsxFilter || path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
    const ExportFormat format
        = xlsx ? ExportFormat::Xlsx : (filter == kTrialsCsvFilter ? ExportFormat::Trials : ExportFormat::Csv);
    if (key) {
        refuseToReplaceKey(path.toStdString(), keyPath.toStdString());
    }
    const ExportSummary summary = exportTo(path, format, onlyShown, key);
    QString message
        = QStringLiteral("Exportováno %1 vyšetření do %2.").arg(summary.tests).arg(QDir::toNativeSeparators(path));
    if (summary.rowsWithErrors > 0) {
        message += QStringLiteral("\n\n%1 vyšetření nešlo přečíst celé; popis je ve sloupci „issues“.")
                       .arg(summary.rowsWithErrors);
    }
    ui::MessageBox::show(this, ui::MessageBox::Icon::None, ui::Application::title(), message);
}

} // namespace report::gui
