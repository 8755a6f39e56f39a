#include "report/gui/norm_choice.h"

#include "report/gui/protocol_content.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace report::gui {

namespace {

constexpr const char* kNormFileKey = "norms/file";

QSettings reportSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tivora"),
                     QStringLiteral("tivora-report"));
}

} // namespace

QString rememberedNormFile()
{
    return reportSettings().value(QLatin1String(kNormFileKey)).toString();
}

void rememberNormFile(const QString& path)
{
    QSettings settings = reportSettings();
    if (path.isEmpty()) {
        settings.remove(QLatin1String(kNormFileKey));
    } else {
        settings.setValue(QLatin1String(kNormFileKey), path);
    }
}

norms::NormRanking readNormRanking(const QString& path, int thresholdPr)
{
    norms::NormRanking ranking;
    ranking.table = std::make_shared<const norms::NormTable>(norms::readNormTableFile(path.toStdString()));
    ranking.thresholdPr = thresholdPr;
    ranking.dateOrder = systemDateOrder();
    ranking.currentYear = QDate::currentDate().year();
    return ranking;
}

QString describeNormChoice(const norms::NormRanking& ranking, const QString& path)
{
    if (!ranking.table) {
        return QStringLiteral("Bez normy");
    }
    return QStringLiteral("Norma: %1, verze %2 (%3), hranice PR %4")
        .arg(QString::fromStdString(ranking.table->name), QString::fromStdString(ranking.table->version),
             QFileInfo(path).fileName())
        .arg(ranking.thresholdPr);
}

} // namespace report::gui
