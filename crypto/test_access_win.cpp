#include "crypto/test_access.h"

#include <vector>
// <windows.h> first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
// clang-format on

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
    const std::vector<DWORD> user = currentUser();
    std::string result = acl == nullptr ? "no access list: everybody may do anything" : "";
    for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
        void* entry = nullptr;
        GetAce(acl, i, &entry);
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        const PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) {
            continue; // denies nothing more
        }
        // Wine lists the system's own account on every file it shows an access list for (Windows lets that
        // account read every file anyway); anyone else is one too many.
        const bool owner = !user.empty() && EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
        if (!owner && !IsWellKnownSid(sid, WinLocalSystemSid)) {
            char* text = nullptr;
            ConvertSidToStringSidA(sid, &text);
            result += std::string(result.empty() ? "" : ", ") + "access for " + (text ? text : "another account");
            LocalFree(text);
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
