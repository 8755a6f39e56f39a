// Windows: UTF-8 paths go to the wide functions (the narrow ones take the system's code page) through the
// file seam's one conversion (base/file.h). The C
// library has no exclusive "x" mode, so a temporary file is created with CREATE_NEW; and a rename does not
// replace a file, so a commit moves with MOVEFILE_REPLACE_EXISTING. A temporary file is open without
// sharing while it is written, which keeps other exports' clean-up from deleting it.
#include "base/file.h"
#include "report/output_platform.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <random>
#include <windows.h>
// After windows.h:
#include <shellapi.h>

namespace report::platform {

namespace {

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
    return base::utf8Path(message);
}

constexpr char kTemporaryPrefix[] = ".tivora-report-";
constexpr char kTemporarySuffix[] = ".tmp";

std::string newTemporaryName(const std::string& folder)
{
    static std::mt19937_64 generator {std::random_device {}()};
    static const char digits[] = "0123456789abcdef";
    std::string name = folder + kTemporaryPrefix;
    std::uint64_t random = generator();
    for (int i = 0; i < 16; ++i, random >>= 4) {
        name += digits[random & 0xFU];
    }
    return name + kTemporarySuffix;
}

// The file the link `name` points to, in `target`; false with the reason when it points to nothing.
bool resolveLink(const std::wstring& name, std::string& target, std::string& reason)
{
    HANDLE handle = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        reason = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? std::string("it is a link to nothing")
                                                                                : lastErrorReason();
        return false;
    }
    std::wstring resolved(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle, resolved.data(), static_cast<DWORD>(resolved.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    if (length == 0 || length >= resolved.size()) {
        reason = lastErrorReason();
        return false;
    }
    resolved.resize(length);
    target = base::utf8Path(resolved);
    return true;
}

} // namespace

const char* const kPathSeparators = "\\/";

std::optional<OutputTarget> outputTarget(const std::string& path, std::string& reason)
{
    std::wstring name = base::widePath(path);
    if (base::namesDevice(path)) {
        reason = "it is the name of a device in Windows";
        return std::nullopt;
    }
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return OutputTarget {path, false}; // a new name; a missing folder is named when creating
        }
        reason = lastErrorReason();
        return std::nullopt;
    }
    OutputTarget target {path, true};
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if (!resolveLink(name, target.path, reason)) {
            return std::nullopt;
        }
        attributes = GetFileAttributesW(base::widePath(target.path).c_str());
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        reason = attributes == INVALID_FILE_ATTRIBUTES ? lastErrorReason() : std::string("it is a folder");
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        reason = "it is not a regular file but a device";
        return std::nullopt;
    }
    return target;
}

std::FILE* createTemporary(const std::string& folder, const std::string&, std::string& path, std::string& reason)
{
    // The new file takes the folder's permissions, as Windows gives every new file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = newTemporaryName(folder);
        // No sharing: removeStaleTemporaries() of another export cannot delete it while it is open.
        HANDLE handle = CreateFileW(base::widePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
            continue;
        }
        if (handle == INVALID_HANDLE_VALUE) {
            reason = lastErrorReason();
            return nullptr;
        }
        const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        if (descriptor < 0) {
            CloseHandle(handle);
            DeleteFileW(base::widePath(path).c_str());
            reason = "no file descriptor left";
            return nullptr;
        }
        std::FILE* stream = _fdopen(descriptor, "wb");
        if (!stream) {
            _close(descriptor);
            DeleteFileW(base::widePath(path).c_str());
            reason = "no stream left";
        }
        return stream;
    }
    reason = "no free temporary name";
    return nullptr;
}

bool commitTemporary(std::FILE* stream, const std::string& path, const std::string& target, std::string& reason)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (std::fflush(stream) != 0 || std::ferror(stream) != 0) {
        reason = std::strerror(errno);
        dropTemporary(stream, path);
        return false;
    }
    if (!FlushFileBuffers(handle)) {
        reason = lastErrorReason();
        dropTemporary(stream, path);
        return false;
    }
    if (std::fclose(stream) != 0) {
        reason = std::strerror(errno);
        DeleteFileW(base::widePath(path).c_str());
        return false;
    }
    if (!MoveFileExW(base::widePath(path).c_str(), base::widePath(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = lastErrorReason();
        DeleteFileW(base::widePath(path).c_str());
        return false;
    }
    return true;
}

void dropTemporary(std::FILE* stream, const std::string& path) noexcept
{
    std::fclose(stream);
    DeleteFileW(base::widePath(path).c_str());
}

void removeStaleTemporaries(const std::string& folder) noexcept
{
    const std::wstring inFolder = base::widePath(folder);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(
        (inFolder + base::widePath(kTemporaryPrefix) + L"*" + base::widePath(kTemporarySuffix)).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // A running export holds its file open without sharing, so that this fails for it.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            DeleteFileW((inFolder + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
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
        utf8.push_back(base::utf8Path(arguments[i]));
    }
    LocalFree(arguments);
    return utf8;
}

void setBinaryMode(std::FILE* stream)
{
    _setmode(_fileno(stream), _O_BINARY);
}

} // namespace report::platform
