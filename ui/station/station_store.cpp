#include "ui/station/station_store.h"

#include "base/local_date.h"
#include "results/schema.h"
#include "ui/common/remembered_folder.h"

#include <cstdio>
#include <exception>

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

namespace ui {

namespace {

bool holdsTable(const QString& folder)
{
    return !folder.isEmpty()
        && QFileInfo(QDir(folder).filePath(QString::fromUtf8(results::kResultsTableName))).isFile();
}

} // namespace

QString selfTestFolder(const QString& given)
{
    if (!given.isEmpty()) {
        return holdsTable(given) ? given : QString();
    }
    if (holdsTable(QDir::currentPath())) {
        return QDir::currentPath();
    }
    const QString remembered = rememberedTestFolder();
    return holdsTable(remembered) ? remembered : QString();
}

void storeSelfTest(const QString& given, const StationMeasurement& measurement, const StationVerdict& verdict)
{
    const QString folder = selfTestFolder(given);
    if (folder.isEmpty()) {
        return;
    }
    try {
        const QString table = QDir(folder).filePath(QString::fromUtf8(results::kResultsTableName));
        const results::StationSelfTest test
            = selfTestRecord(measurement, verdict, base::localDateTime(), QSysInfo::machineHostName().toStdString());
        const std::unique_ptr<base::File> file
            = base::openOrCreateFile(results::stationLogPath(QDir::toNativeSeparators(table).toStdString()));
        results::appendStationLog(*file, test);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tivora: the self-test could not be stored: %s\n", error.what());
    }
}

} // namespace ui
