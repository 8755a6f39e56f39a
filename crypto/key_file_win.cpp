#include "crypto/crypto_error.h"
#include "crypto/key_file.h"
#include "crypto/primitives.h"
#include "text/messages.h"

#include <cstring>
#include <vector>
#include <windows.h>

namespace crypto {

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

// The system's text for `error`, without its final period and line end, and its number.
std::string systemReason(DWORD error)
{
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text = length > 0 && buffer ? std::string(buffer, length) : std::string();
    if (buffer) {
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    const std::string number = "system error " + std::to_string(error);
    return text.empty() ? number : text + " (" + number + ")";
}

[[noreturn]] void fail(const char* pattern, const std::string& path, const std::string& reason)
{
    throw CryptoError(text::formatMessage(pattern, {path}) + ": " + reason);
}

class Handle
{
public:
    explicit Handle(HANDLE handle)
        : m_handle(handle)
    { }
    ~Handle()
    {
        if (m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr) {
            CloseHandle(m_handle);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    // Closes now; false with the last error set when the system reports a failure.
    bool close()
    {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != 0;
    }

private:
    HANDLE m_handle;
};

// A security descriptor whose access list grants the current user all access to the file and nobody else
// anything: protected, so that nothing is inherited from the folder. Its parts live as long as it does.
class OwnerOnlyDescriptor
{
public:
    // Throws CryptoError "Cannot create file <path>: <reason>" when the user's identity cannot be had.
    explicit OwnerOnlyDescriptor(const std::string& path)
    {
        HANDLE raw = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) {
            fail(text::messages::kCannotCreateFile, path, systemReason(GetLastError()));
        }
        const Handle token(raw);
        DWORD size = 0;
        GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
        m_user.resize(size / sizeof(DWORD) + 1);
        if (!GetTokenInformation(token.get(), TokenUser, m_user.data(), size, &size)) {
            fail(text::messages::kCannotCreateFile, path, systemReason(GetLastError()));
        }
        const PSID sid = reinterpret_cast<TOKEN_USER*>(m_user.data())->User.Sid;
        const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
        m_acl.resize(aclSize / sizeof(DWORD) + 1);
        auto* acl = reinterpret_cast<ACL*>(m_acl.data());
        if (!InitializeAcl(acl, aclSize, ACL_REVISION) || !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid)
            || !InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION)
            || !SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE)
            || !SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
            fail(text::messages::kCannotCreateFile, path, systemReason(GetLastError()));
        }
        m_attributes.nLength = sizeof m_attributes;
        m_attributes.lpSecurityDescriptor = &m_descriptor;
        m_attributes.bInheritHandle = FALSE;
    }
    OwnerOnlyDescriptor(const OwnerOnlyDescriptor&) = delete;
    OwnerOnlyDescriptor& operator=(const OwnerOnlyDescriptor&) = delete;

    SECURITY_ATTRIBUTES* attributes() { return &m_attributes; }

private:
    std::vector<DWORD> m_user; // TOKEN_USER and the SID after it, DWORD-aligned
    std::vector<DWORD> m_acl;
    SECURITY_DESCRIPTOR m_descriptor {};
    SECURITY_ATTRIBUTES m_attributes {};
};

bool writeAll(HANDLE handle, const std::string& bytes)
{
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
        && written == bytes.size();
}

} // namespace

Key createKeyFile(const std::string& path)
{
    const std::string random = randomBytes(kKeySize);
    Key key {};
    std::memcpy(key.data(), random.data(), key.size());

    OwnerOnlyDescriptor security(path);
    // CREATE_NEW: never an existing file. Nobody else may open it while it is written.
    Handle file(CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, security.attributes(), CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
            fail(text::messages::kCannotCreateFile, path,
                 "a file of that name exists already, and a key is never replaced (pseudonyms made with it would no "
                 "longer match)");
        }
        fail(text::messages::kCannotCreateFile, path, systemReason(error));
    }
    if (!writeAll(file.get(), keyFileText(key)) || !FlushFileBuffers(file.get()) || !file.close()) {
        const DWORD error = GetLastError();
        // The file is ours (created above): a key that may be incomplete must not be used or block a retry.
        file.close();
        DeleteFileW(wide(path).c_str());
        fail(text::messages::kCannotCreateFile, path, systemReason(error));
    }
    return key;
}

KeyFileReading readKeyFile(const std::string& path)
{
    const char* pattern = text::messages::kCannotReadFile;
    const Handle file(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        fail(pattern, path, systemReason(GetLastError()));
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        fail(pattern, path, "it is not a regular file");
    }
    LARGE_INTEGER size {};
    if (!GetFileSizeEx(file.get(), &size)) {
        fail(pattern, path, systemReason(GetLastError()));
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxKeyFileSize) {
        fail(pattern, path,
             "it is not a key file (" + std::to_string(size.QuadPart) + " bytes, a key file has at most "
                 + std::to_string(kMaxKeyFileSize) + ")");
    }
    std::string text(kMaxKeyFileSize + 1, '\0');
    std::size_t done = 0;
    for (DWORD n = 1; n > 0 && done < text.size(); done += n) {
        if (!ReadFile(file.get(), text.data() + done, static_cast<DWORD>(text.size() - done), &n, nullptr)) {
            fail(pattern, path, systemReason(GetLastError()));
        }
    }
    if (done > kMaxKeyFileSize) {
        fail(pattern, path, "it is not a key file (it grew beyond " + std::to_string(kMaxKeyFileSize) + " bytes)");
    }
    text.resize(done);
    KeyFileReading reading;
    reading.key = parseKeyFileText(text, path);
    return reading;
}

} // namespace crypto
