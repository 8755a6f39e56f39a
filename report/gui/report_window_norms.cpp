// The report window's norm: the norm file chosen for the protocols and exports, remembered between runs.
#include "report/gui/norm_choice.h"
#include "report/gui/report_window.h"
#include "ui/common/application.h"

#include <QDir>
#include <QLabel>
#include <QStatusBar>

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
    // The protocol shown is read again with the new ranks: the same test (a table's record, the
    // database's test number).
    const std::uint64_t id = currentTest();
    if (id != 0) {
        showTest(id);
    }
}

} // namespace report::gui
