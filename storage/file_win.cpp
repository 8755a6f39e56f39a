#include "storage/errors.h"
#include "storage/file.h"
#include "text/messages.h"

#include <cstdio>
#include <windows.h>

namespace storage {

namespace {

std::wstring wide(const std::string& utf8)
{
    if (utf8.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
    return out;
}

std::string narrow(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int length
        = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr, nullptr);
    return out;
}

std::string failure(const char* pattern, const std::string& path)
{
    return text::formatMessage(pattern, {path}) + ": system error " + std::to_string(GetLastError());
}

// The append lock is one byte at the last offset a file could ever reach: Windows file sizes are signed
// 64-bit numbers, so no file has a byte at 2^63 - 1. Windows byte-range locks are mandatory (a read or
// write of a locked byte through another handle fails), so a lock over the file's data would make every
// other station's browser and store fail while this one appends. Here it excludes only the others who
// take the same byte: appends, header stores and row edits.
constexpr std::uint64_t kAppendLockOffset = 0x7FFFFFFFFFFFFFFFULL;
constexpr DWORD kAppendLockLength = 1;

OVERLAPPED at(std::uint64_t offset)
{
    OVERLAPPED position {};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

class WindowsFile final : public File
{
public:
    WindowsFile(std::string path, HANDLE handle)
        : File(std::move(path))
        , m_handle(handle)
    { }
    ~WindowsFile() override { CloseHandle(m_handle); }

    std::size_t readAt(std::uint64_t offset, void* data, std::size_t size) override
    {
        auto* out = static_cast<char*>(data);
        std::size_t done = 0;
        while (done < size) {
            OVERLAPPED position = at(offset + done);
            DWORD n = 0;
            const DWORD chunk = static_cast<DWORD>(size - done > 0x40000000U ? 0x40000000U : size - done);
            if (!ReadFile(m_handle, out + done, chunk, &n, &position)) {
                if (GetLastError() == ERROR_HANDLE_EOF) {
                    break;
                }
                throw FileError(failure(messages::kCannotReadFile, path()));
            }
            if (n == 0) {
                break;
            }
            done += n;
        }
        return done;
    }

    void writeAt(std::uint64_t offset, const void* data, std::size_t size) override
    {
        const auto* in = static_cast<const char*>(data);
        std::size_t done = 0;
        while (done < size) {
            OVERLAPPED position = at(offset + done);
            DWORD n = 0;
            const DWORD chunk = static_cast<DWORD>(size - done > 0x40000000U ? 0x40000000U : size - done);
            if (!WriteFile(m_handle, in + done, chunk, &n, &position) || n == 0) {
                throw FileError(failure(messages::kCannotWriteFile, path()));
            }
            done += n;
        }
    }

    std::uint64_t size() override
    {
        LARGE_INTEGER value {};
        if (!GetFileSizeEx(m_handle, &value)) {
            throw FileError(failure(messages::kCannotReadFile, path()));
        }
        return static_cast<std::uint64_t>(value.QuadPart);
    }

    void truncate(std::uint64_t size) override
    {
        LARGE_INTEGER value {};
        value.QuadPart = static_cast<LONGLONG>(size);
        if (!SetFilePointerEx(m_handle, value, nullptr, FILE_BEGIN) || !SetEndOfFile(m_handle)) {
            throw FileError(failure(messages::kCannotWriteFile, path()));
        }
    }

    void sync() override
    {
        if (!FlushFileBuffers(m_handle)) {
            throw FileError(failure(messages::kCannotWriteFile, path()));
        }
    }

    void lock() override
    {
        OVERLAPPED position = at(kAppendLockOffset);
        if (!LockFileEx(m_handle, LOCKFILE_EXCLUSIVE_LOCK, 0, kAppendLockLength, 0, &position)) {
            throw FileError(failure(messages::kCannotLockFile, path()));
        }
    }

    void unlock() override
    {
        OVERLAPPED position = at(kAppendLockOffset);
        if (!UnlockFileEx(m_handle, 0, kAppendLockLength, 0, &position)) {
            throw FileError(failure(messages::kCannotLockFile, path()));
        }
    }

private:
    HANDLE m_handle;
};

HANDLE openHandle(const std::string& path, DWORD access, DWORD disposition)
{
    return CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

std::unique_ptr<File> openFile(const std::string& path, OpenMode mode)
{
    const DWORD access = mode == OpenMode::ReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    HANDLE handle = openHandle(path, access, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return nullptr;
        }
        throw FileError(text::formatMessage(messages::kCannotOpenFile, {path}));
    }
    return std::make_unique<WindowsFile>(path, handle);
}

std::unique_ptr<File> openOrCreateFile(const std::string& path)
{
    HANDLE handle = openHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) {
        throw FileError(text::formatMessage(messages::kCannotCreateFile, {path}));
    }
    return std::make_unique<WindowsFile>(path, handle);
}

std::unique_ptr<File> createFileExclusive(const std::string& path)
{
    HANDLE handle = openHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    if (handle == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_EXISTS) {
            return nullptr;
        }
        throw FileError(text::formatMessage(messages::kCannotCreateFile, {path}));
    }
    return std::make_unique<WindowsFile>(path, handle);
}

PublishResult publishFile(const std::string& from, const std::string& to)
{
    // Without MOVEFILE_REPLACE_EXISTING the move fails rather than replace a file another station made.
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        return PublishResult::Published;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        return PublishResult::TargetExists;
    }
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_NOT_SAME_DEVICE) {
        return PublishResult::Unsupported;
    }
    throw FileError(text::formatMessage(messages::kCannotCreateFile, {to}));
}

void removeFileQuietly(const std::string& path) noexcept
{
    DeleteFileW(wide(path).c_str());
}

bool fileExists(const std::string& path)
{
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> fileIdentity(const std::string& path)
{
    HANDLE handle = CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    const BOOL ok = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!ok) {
        return std::nullopt;
    }
    return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":"
        + std::to_string(info.nFileIndexLow);
}

char pathSeparator()
{
    return '\\';
}

bool isAbsolutePath(const std::string& path)
{
    return (!path.empty() && (path[0] == '\\' || path[0] == '/')) || (path.size() >= 2 && path[1] == ':');
}

std::string programDirectory()
{
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD n = 0;
    while ((n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()))) >= buffer.size()) {
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(n);
    const std::string exe = narrow(buffer);
    return exe.substr(0, exe.find_last_of("\\/") + 1);
}

LocalDate localToday()
{
    SYSTEMTIME now {};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
}

std::string localDateTime()
{
    SYSTEMTIME now {};
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone {};
    // The bias is UTC minus local time in minutes, daylight saving included when it is in force.
    LONG bias = 0;
    switch (GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_DAYLIGHT:
        bias = zone.Bias + zone.DaylightBias;
        break;
    case TIME_ZONE_ID_STANDARD:
        bias = zone.Bias + zone.StandardBias;
        break;
    case TIME_ZONE_ID_UNKNOWN:
        bias = zone.Bias;
        break;
    default:
        break;
    }
    const LONG offset = -bias;
    const LONG magnitude = offset < 0 ? -offset : offset;
    char text[40] = {};
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02ld:%02ld", unsigned {now.wYear},
                  unsigned {now.wMonth}, unsigned {now.wDay}, unsigned {now.wHour}, unsigned {now.wMinute},
                  unsigned {now.wSecond}, offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

} // namespace storage
