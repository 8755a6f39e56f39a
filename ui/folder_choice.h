#pragma once

#include "ui/common/remembered_folder.h"

#include <functional>

#include <QString>

class QSettings;

namespace ui {

// The examiner's choice of the test folder, for a start from the desktop menu, where the current
// directory is the home folder and holds no test. A folder dialog opens in the folder chosen last
// time; a folder the program cannot write to (the results table would not be stored) is refused with
// a message and the dialog opens again; into an empty folder the sample test may be copied. All of
// its message boxes go through ui::MessageBox.
class FolderChoice
{
public:
    // Shows a folder dialog opened in `startFolder`; returns the folder chosen, or an empty string when
    // the examiner cancelled.
    using Dialog = std::function<QString(const QString& startFolder)>;

    // `settings` keeps the last choice under kSettingsKey and must outlive the object. `sampleFolder`
    // holds the sample test's files; when it does not exist, nothing is offered.
    FolderChoice(QSettings& settings, QString sampleFolder, Dialog dialog);

    // Runs the choice. The dialog opens first in `startFolder` when it is given, else in the folder
    // chosen last time (when it still exists), else in the home folder. Returns the chosen folder, which
    // the program can write to, and remembers it; returns an empty string, remembering nothing, when
    // the examiner cancelled the dialog.
    QString choose(const QString& startFolder = QString());

    static constexpr const char* kSettingsKey = kTestFolderKey;

private:
    // Offers the sample test for an empty `folder` and copies it when accepted. False when the copy
    // failed (a message was shown and the folder is left empty again).
    bool offerSample(const QString& folder) const;

    QSettings& m_settings;
    QString m_sampleFolder;
    Dialog m_dialog;
};

// True when a file can be created in `folder` (tried, not read from the permission bits, which say
// nothing about read-only mounts, access lists or the superuser).
bool isWritableFolder(const QString& folder);

// Copies every file of `from` into `to`, which must not hold files of the same names. Returns an
// empty string on success; on failure the files already copied are removed again and the reason is
// returned.
QString copyFolderFiles(const QString& from, const QString& to);

// The sample test installed with the program: share/tivora/sample beside the executable's bin folder,
// found from the executable, so that the program also finds it when installed under another prefix or
// unpacked from its package anywhere.
QString installedSampleFolder();

// The whole choice as the program makes it: the system's folder dialog, the user's settings of
// this program, the installed sample. Returns the chosen folder or an empty string when cancelled.
QString chooseTestFolder(const QString& startFolder);

} // namespace ui
