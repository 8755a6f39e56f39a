#include "crypto/test_access.h"

#include <aclapi.h>
#include <vector>
#include <windows.h>

namespace crypto::testing {

namespace {

std::wstring wide(const std::string& utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
    return out;
}

// The current user's identity, in a DWORD-aligned buffer holding a TOKEN_USER.
std::vector<DWORD> currentUser()
{
    HANDLE token = nullptr;
    std::vector<DWORD> user;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user.resize(size / sizeof(DWORD) + 1);
        if (!GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
            user.clear();
        }
        CloseHandle(token);
    }
    return user;
}

} // namespace

std::string accessBeyondOwner(const std::string& path)
{
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name = wide(path);
    if (GetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                              &descriptor)
        != ERROR_SUCCESS) {
        return "no access list could be read";
    }
    std::string result;
    const std::vector<DWORD> user = currentUser();
    if (acl == nullptr) {
        result = "no access list: everybody may do anything";
    } else if (acl->AceCount != 1) {
        result = std::to_string(acl->AceCount) + " entries in the access list";
    } else {
        void* entry = nullptr;
        GetAce(acl, 0, &entry);
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || user.empty()
            || !EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid)) {
            result = "the one entry of the access list is not the current user's";
        }
    }
    LocalFree(descriptor);
    return result;
}

bool setModeBits(const std::string&, unsigned)
{
    return false;
}

unsigned setCreationMask(unsigned)
{
    return 0;
}

bool makeNamedPipe(const std::string&)
{
    return false;
}

} // namespace crypto::testing
