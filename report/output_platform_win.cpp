// Windows: UTF-8 paths go to the wide functions (the narrow ones take the system's code page). The C
// library has no exclusive "x" mode, so a new file is created with CREATE_NEW; and a rename does not
// replace a file, so a commit moves with MOVEFILE_REPLACE_EXISTING.
#include "report/output_platform.h"

#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <windows.h>
// After windows.h:
#include <shellapi.h>

namespace report::platform {

namespace {

std::wstring wide(const std::string& path)
{
    return std::filesystem::u8path(path).wstring();
}

std::string lastErrorReason()
{
    const DWORD error = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length
        = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0) {
        return "system error " + std::to_string(error);
    }
    std::wstring message(text, length);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.')) {
        message.pop_back();
    }
    return std::filesystem::path(message).u8string();
}

} // namespace

const char* const kPathSeparators = "\\/";

std::FILE* createNewFile(const std::string& path, std::string& reason)
{
    HANDLE handle
        = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        reason = lastErrorReason();
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        reason = "no file descriptor left";
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "wb");
    if (!stream) {
        _close(descriptor);
        reason = "no stream left";
    }
    return stream;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& reason)
{
    if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = lastErrorReason();
        return false;
    }
    return true;
}

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) {
        return std::vector<std::string>(argv + 1, argv + argc);
    }
    std::vector<std::string> utf8;
    for (int i = 1; i < count; ++i) {
        utf8.push_back(std::filesystem::path(arguments[i]).u8string());
    }
    LocalFree(arguments);
    return utf8;
}

void setBinaryMode(std::FILE* stream)
{
    _setmode(_fileno(stream), _O_BINARY);
}

} // namespace report::platform
