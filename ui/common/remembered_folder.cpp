#include "ui/common/remembered_folder.h"

namespace ui {

QSettings testProgramSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("tivora"), QStringLiteral("tivora"));
}

QString rememberedTestFolder()
{
    return testProgramSettings().value(QLatin1String(kTestFolderKey)).toString();
}

} // namespace ui
