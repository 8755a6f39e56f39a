#include "ui/platform.h"

#include <stdexcept>
#include <windows.h>

namespace ui::platform {

void changeDirectory(const QString& path)
{
    if (!SetCurrentDirectoryW(reinterpret_cast<const wchar_t*>(path.utf16()))) {
        throw std::runtime_error(ioErrorMessage(static_cast<int>(GetLastError())).toStdString());
    }
}

void reportFileSizeLimitAsError()
{
    // Windows has no such signal: a write beyond a quota fails with an error.
}

} // namespace ui::platform
