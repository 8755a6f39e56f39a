#pragma once

#include <QSettings>
#include <QString>

// The test folder the examiner chose last from the test program's menu, kept in the user's settings of
// the test program, where the programs beside it find it too.
namespace ui {

// The key of the remembered folder in testProgramSettings().
inline constexpr const char* kTestFolderKey = "testFolder";

// The user's settings of the test program (organisation and application "tivora", the system's native
// format), whichever program asks.
QSettings testProgramSettings();

// The test folder the examiner chose last from the menu (empty when none was chosen yet), for the
// programs beside the test that look for its results.
QString rememberedTestFolder();

} // namespace ui
