#pragma once

#include <QString>

// The few operating-system calls of the user interface, behind plain functions so that a Windows
// build swaps only platform_*.cpp.
namespace ui::platform {

// The text of the I/O error with the system error code `code`: 2 "File not found", 3 "Invalid
// filename", 4 "Too many open files", 5 "File access denied", any other "I/O error <code>".
QString ioErrorMessage(int code);

// Makes `path` the process's current directory. Throws std::runtime_error carrying ioErrorMessage()
// of the failure.
void changeDirectory(const QString& path);

// Makes a write beyond the process's file size limit (a quota, a limit set by the system) fail with an
// error the program reports, as a full disk does, instead of ending the program with the test in it.
void reportFileSizeLimitAsError();

} // namespace ui::platform
