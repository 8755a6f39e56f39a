#include "base/error.h"
#include "base/file.h"
#include "base/messages.h"
#include "base/user_file.h"

#include <algorithm>
#include <array>
#include <windows.h>

namespace base {

namespace {

std::string failure(const char* pattern, const std::string& path, std::string_view reason)
{
    return text::formatMessage(pattern, {path}) + ": " + std::string(reason);
}

// The system's reason in the words the POSIX build uses for the common cases, else its number (the
// system's own text would come in the language of the installation).
std::string systemReason(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "No such file or directory";
    case ERROR_ACCESS_DENIED:
        return "Permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "the file is in use by another program";
    default:
        return "system error " + std::to_string(error);
    }
}

[[noreturn]] void failToOpen(const std::string& path, DWORD error)
{
    // A missing file gets the platform's standard text as it stands; it says all there is to say.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        throw FileError(text::formatMessage(messages::kCannotOpenFile, {path}));
    }
    throw FileError(failure(messages::kCannotOpenFile, path, systemReason(error)));
}

class Handle
{
public:
    explicit Handle(HANDLE handle)
        : m_handle(handle)
    { }
    ~Handle()
    {
        if (m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE get() const { return m_handle; }
    void close()
    {
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

// Why the open file is refused; nothing for a file on a disk.
const char* refusal(HANDLE file)
{
    switch (GetFileType(file)) {
    case FILE_TYPE_DISK:
        return nullptr;
    case FILE_TYPE_PIPE:
        return messages::kIsAPipe;
    case FILE_TYPE_CHAR:
        return messages::kIsADevice;
    default:
        return messages::kIsNotAFile;
    }
}

std::string readUpTo(HANDLE file, const std::string& path, std::uint64_t maxBytes, std::uint64_t expected)
{
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(std::min(expected, maxBytes)) + 1);
    char buffer[64 * 1024];
    // One byte more than allowed is read to notice a file that grew since it was looked at.
    while (bytes.size() <= maxBytes) {
        const std::uint64_t room = std::min<std::uint64_t>(sizeof buffer, maxBytes - bytes.size() + 1);
        DWORD got = 0;
        if (!ReadFile(file, buffer, static_cast<DWORD>(room), &got, nullptr)) {
            throw FileError(failure(messages::kCannotReadFile, path, systemReason(GetLastError())));
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, got);
    }
    return bytes;
}

} // namespace

std::optional<std::string> readUserFile(const std::string& path, std::uint64_t maxBytes)
{
    if (namesDevice(path)) {
        throw FileError(failure(messages::kCannotOpenFile, path, messages::kIsADevice));
    }
    const std::wstring wide = widePath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        failToOpen(path, GetLastError());
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw FileError(failure(messages::kCannotOpenFile, path, messages::kIsAFolder));
    }
    // Others may go on reading, writing, renaming or deleting it while it is read, as with any editor.
    Handle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        failToOpen(path, GetLastError());
    }
    if (const char* reason = refusal(file.get())) {
        throw FileError(failure(messages::kCannotOpenFile, path, reason));
    }
    LARGE_INTEGER size {};
    if (!GetFileSizeEx(file.get(), &size)) {
        throw FileError(failure(messages::kCannotReadFile, path, systemReason(GetLastError())));
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > maxBytes) {
        return std::nullopt;
    }
    std::string bytes = readUpTo(file.get(), path, maxBytes, static_cast<std::uint64_t>(size.QuadPart));
    if (bytes.size() > maxBytes) {
        return std::nullopt;
    }
    return bytes;
}

void replaceUserFile(const std::string& path, std::string_view bytes)
{
    const auto fail
        = [&](std::string_view reason) { throw FileError(failure(messages::kCannotCreateFile, path, reason)); };
    if (namesDevice(path)) {
        fail(messages::kIsADevice);
    }
    const std::wstring target = widePath(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        fail(messages::kIsAFolder);
    }

    const std::wstring temporary = target + L".new";
    // Whatever a crash left under the temporary name makes way.
    DeleteFileW(temporary.c_str());
    Handle out(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (out.get() == INVALID_HANDLE_VALUE) {
        fail(systemReason(GetLastError()));
    }
    const auto failAndRemove = [&](DWORD error) {
        out.close();
        DeleteFileW(temporary.c_str());
        fail(systemReason(error));
    };
    for (std::size_t done = 0; done < bytes.size();) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1U << 20));
        DWORD written = 0;
        if (!WriteFile(out.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            failAndRemove(GetLastError());
        }
        done += written;
    }
    // On the disk before the rename: a crash after it must not leave an empty program.
    if (!FlushFileBuffers(out.get())) {
        failAndRemove(GetLastError());
    }
    out.close();
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        fail(systemReason(error));
    }
}

} // namespace base
