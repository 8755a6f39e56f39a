#include "ui/folder_choice.h"

#include "ui/common/application.h"
#include "ui/common/message_box.h"
#include "ui/common/remembered_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>

namespace ui {

namespace {

QString shown(const QString& folder)
{
    return QDir::toNativeSeparators(folder);
}

bool isEmptyFolder(const QString& folder)
{
    return QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

} // namespace

bool isWritableFolder(const QString& folder)
{
    // The probe is removed again when it goes out of scope.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".tivora-XXXXXX")));
    return QFileInfo(folder).isDir() && probe.open();
}

QString copyFolderFiles(const QString& from, const QString& to)
{
    const QDir source(from);
    const QDir target(to);
    QStringList copied;
    // System entries too: a dangling link in the sample is a failure to report, not a file to skip.
    for (const QString& name : source.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
        QFile file(source.filePath(name));
        if (!file.copy(target.filePath(name))) {
            const QString reason = QStringLiteral("%1: %2").arg(name, file.errorString());
            for (const QString& done : copied) {
                QFile::remove(target.filePath(done));
            }
            return reason;
        }
        copied.append(name);
    }
    return QString();
}

FolderChoice::FolderChoice(QSettings& settings, QString sampleFolder, Dialog dialog)
    : m_settings(settings)
    , m_sampleFolder(std::move(sampleFolder))
    , m_dialog(std::move(dialog))
{ }

QString FolderChoice::choose(const QString& startFolder)
{
    QString start = startFolder.isEmpty() ? m_settings.value(QLatin1String(kSettingsKey)).toString()
                                          : QFileInfo(startFolder).absoluteFilePath();
    if (start.isEmpty() || !QFileInfo(start).isDir()) {
        start = QDir::homePath();
    }
    for (;;) {
        const QString chosen = m_dialog(start);
        if (chosen.isEmpty()) {
            return QString();
        }
        const QString folder = QFileInfo(chosen).absoluteFilePath();
        start = folder;
        if (!isWritableFolder(folder)) {
            MessageBox::show(nullptr, MessageBox::Icon::Stop, Application::title(),
                             QStringLiteral("Do složky %1 nelze zapisovat, výsledky testů by se do ní neuložily. "
                                            "Vyberte jinou složku.")
                                 .arg(shown(folder)));
            continue;
        }
        if (isEmptyFolder(folder) && !offerSample(folder)) {
            continue;
        }
        m_settings.setValue(QLatin1String(kSettingsKey), folder);
        m_settings.sync();
        return folder;
    }
}

bool FolderChoice::offerSample(const QString& folder) const
{
    if (!QFileInfo(m_sampleFolder).isDir()) {
        return true;
    }
    const MessageBox::Answer answer
        = MessageBox::show(nullptr, MessageBox::Icon::Question, Application::title(),
                           QStringLiteral("Složka %1 je prázdná. Zkopírovat do ní ukázkový test (program.txt a "
                                          "obrazovky s pokyny)?")
                               .arg(shown(folder)),
                           MessageBox::Buttons::OkCancel);
    if (answer != MessageBox::Answer::Ok) {
        return true;
    }
    const QString failure = copyFolderFiles(m_sampleFolder, folder);
    if (failure.isEmpty()) {
        return true;
    }
    MessageBox::show(
        nullptr, MessageBox::Icon::Stop, Application::title(),
        QStringLiteral("Ukázkový test se nepodařilo zkopírovat do složky %1 (%2).").arg(shown(folder), failure));
    return false;
}

QString installedSampleFolder()
{
    return QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(TIVORA_SAMPLE_DIR)));
}

QString chooseTestFolder(const QString& startFolder)
{
    QSettings settings = testProgramSettings();
    FolderChoice choice(settings, installedSampleFolder(), [](const QString& start) {
        return QFileDialog::getExistingDirectory(nullptr, QStringLiteral("Tivora: vyberte složku s testem"), start,
                                                 QFileDialog::ShowDirsOnly);
    });
    return choice.choose(startFolder);
}

} // namespace ui
