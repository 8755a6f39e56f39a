#include "base/error.h"
#include "base/file.h"
#include "base/messages.h"

#include <algorithm>
#include <array>
#include <windows.h>

namespace base {

std::wstring widePath(const std::string& utf8)
{
    if (utf8.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
    return out;
}

std::string utf8Path(const std::wstring& text)
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

namespace {

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

bool namesDevice(const std::string& path)
{
    if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0) {
        return true;
    }
    const std::size_t slash = path.find_last_of("/\\:");
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    name = name.substr(0, name.find('.'));
    name.erase(name.find_last_not_of(' ') + 1);
    std::transform(name.begin(), name.end(), name.begin(), upper);
    static const std::array<const char*, 7> kNames = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    if (std::find(kNames.begin(), kNames.end(), name) != kNames.end()) {
        return true;
    }
    // COM1 to COM9 and LPT1 to LPT9, also with the superscript digits 1, 2 and 3 (in UTF-8).
    if (name.rfind("COM", 0) != 0 && name.rfind("LPT", 0) != 0) {
        return false;
    }
    const std::string digit = name.substr(3);
    return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" || digit == "\xC2\xB2"
        || digit == "\xC2\xB3";
}

namespace {

// The system's text for `error` ("Access is denied"), without its final period and line end, followed by
// its number; just the number where the system has no text.
std::string systemReason(DWORD error)
{
    wchar_t* buffer = nullptr;
    const DWORD length
        = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 && buffer ? std::wstring(buffer, length) : std::wstring();
    if (buffer) {
        LocalFree(buffer);
    }
    while (!text.empty()
           && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.')) {
        text.pop_back();
    }
    const std::string number = "system error " + std::to_string(error);
    return text.empty() ? number : utf8Path(text) + " (" + number + ")";
}

std::string failure(const char* pattern, const std::string& path)
{
    const DWORD error = GetLastError();
    return text::formatMessage(pattern, {path}) + ": " + systemReason(error);
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
    return CreateFileW(widePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

[[noreturn]] void refuse(const char* pattern, const std::string& path, const char* reason)
{
    throw FileError(text::formatMessage(pattern, {path}) + ": " + reason);
}

// Opens the regular file `path` as openHandle() does. Device names and folders are refused before they are
// opened, and what was opened must be a file on a disk (not a device, a console or a pipe). Returns
// INVALID_HANDLE_VALUE with the last error set when the system refuses the open; throws FileError
// "<pattern's text> <path>: <reason>" for anything that is not a regular file.
HANDLE openRegularFile(const std::string& path, DWORD access, DWORD disposition, const char* pattern)
{
    if (namesDevice(path)) {
        refuse(pattern, path, messages::kIsDevice);
    }
    const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        refuse(pattern, path, messages::kIsDirectory);
    }
    HANDLE handle = openHandle(path, access, disposition);
    if (handle == INVALID_HANDLE_VALUE) {
        return handle;
    }
    const DWORD type = GetFileType(handle);
    if (type != FILE_TYPE_DISK) {
        CloseHandle(handle);
        refuse(pattern, path, type == FILE_TYPE_PIPE ? messages::kIsNamedPipe : messages::kIsDevice);
    }
    return handle;
}

} // namespace

std::unique_ptr<File> openFile(const std::string& path, OpenMode mode)
{
    const DWORD access = mode == OpenMode::ReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    HANDLE handle = openRegularFile(path, access, OPEN_EXISTING, messages::kCannotOpenFile);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return nullptr;
        }
        throw FileError(failure(messages::kCannotOpenFile, path));
    }
    return std::make_unique<WindowsFile>(path, handle);
}

std::unique_ptr<File> openOrCreateFile(const std::string& path)
{
    HANDLE handle = openRegularFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, messages::kCannotCreateFile);
    if (handle == INVALID_HANDLE_VALUE) {
        throw FileError(failure(messages::kCannotCreateFile, path));
    }
    return std::make_unique<WindowsFile>(path, handle);
}

std::unique_ptr<File> createFileExclusive(const std::string& path)
{
    // CREATE_NEW never opens a file that exists, but a device name exists in every folder without being
    // a file.
    if (namesDevice(path)) {
        refuse(messages::kCannotCreateFile, path, messages::kIsDevice);
    }
    HANDLE handle = openHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    if (handle == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_EXISTS) {
            return nullptr;
        }
        throw FileError(failure(messages::kCannotCreateFile, path));
    }
    return std::make_unique<WindowsFile>(path, handle);
}

PublishResult publishFile(const std::string& from, const std::string& to)
{
    if (namesDevice(to)) {
        refuse(messages::kCannotCreateFile, to, messages::kIsDevice);
    }
    // Without MOVEFILE_REPLACE_EXISTING the move fails rather than replace a file another station made.
    if (MoveFileExW(widePath(from).c_str(), widePath(to).c_str(), MOVEFILE_WRITE_THROUGH)) {
        return PublishResult::Published;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        return PublishResult::TargetExists;
    }
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_NOT_SAME_DEVICE) {
        return PublishResult::Unsupported;
    }
    SetLastError(error);
    throw FileError(failure(messages::kCannotCreateFile, to));
}

void removeFileQuietly(const std::string& path) noexcept
{
    DeleteFileW(widePath(path).c_str());
}

bool fileExists(const std::string& path)
{
    return GetFileAttributesW(widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::string> fileIdentity(const std::string& path)
{
    HANDLE handle = CreateFileW(widePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
    const std::string exe = utf8Path(buffer);
    return exe.substr(0, exe.find_last_of("\\/") + 1);
}

} // namespace base
