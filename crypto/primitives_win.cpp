#include "crypto/crypto_error.h"
#include "crypto/primitives.h"

#include <cstdio>
// <windows.h> first: the other system headers need its types.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

namespace crypto {

namespace {

// Calls over more bytes than one ULONG counts are made in pieces of this size.
constexpr std::size_t kPiece = 0x40000000U;

[[noreturn]] void fail(const char* what, NTSTATUS status)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
    throw CryptoError(std::string(what) + " failed in the system's cryptography provider (status " + code + ")");
}

bool succeeded(NTSTATUS status)
{
    return status >= 0;
}

// The system's SHA-256 provider, plain or keyed, opened once for the process: opening one is slow, and an
// algorithm handle may serve several threads at once.
BCRYPT_ALG_HANDLE provider(bool hmac)
{
    struct Providers
    {
        BCRYPT_ALG_HANDLE plain = nullptr;
        BCRYPT_ALG_HANDLE keyed = nullptr;
        NTSTATUS plainStatus = 0;
        NTSTATUS keyedStatus = 0;
        Providers()
        {
            plainStatus = BCryptOpenAlgorithmProvider(&plain, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
            keyedStatus
                = BCryptOpenAlgorithmProvider(&keyed, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG);
        }
    };
    static const Providers providers;
    const NTSTATUS status = hmac ? providers.keyedStatus : providers.plainStatus;
    if (!succeeded(status)) {
        fail(hmac ? "HMAC-SHA-256" : "SHA-256", status);
    }
    return hmac ? providers.keyed : providers.plain;
}

// The hash of `bytes` with the provider of `hmac`, under `key` for the keyed one.
Sha256 hash(bool hmac, std::string_view key, std::string_view bytes)
{
    const char* what = hmac ? "HMAC-SHA-256" : "SHA-256";
    if (key.size() > 0xFFFFFFFFU) {
        throw CryptoError(std::string(what) + " failed: the key is longer than the provider takes");
    }
    BCRYPT_HASH_HANDLE handle = nullptr;
    // The provider copies the key; it reads it through a pointer it does not write.
    auto* secret = reinterpret_cast<PUCHAR>(const_cast<char*>(key.data()));
    NTSTATUS status = BCryptCreateHash(provider(hmac), &handle, nullptr, 0, key.empty() ? nullptr : secret,
                                       static_cast<ULONG>(key.size()), 0);
    if (!succeeded(status)) {
        fail(what, status);
    }
    Sha256 out {};
    std::size_t done = 0;
    do {
        const std::size_t piece = bytes.size() - done < kPiece ? bytes.size() - done : kPiece;
        auto* input = reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + done));
        status = BCryptHashData(handle, piece == 0 ? nullptr : input, static_cast<ULONG>(piece), 0);
        done += piece;
    } while (succeeded(status) && done < bytes.size());
    if (succeeded(status)) {
        status = BCryptFinishHash(handle, out.data(), static_cast<ULONG>(out.size()), 0);
    }
    BCryptDestroyHash(handle);
    if (!succeeded(status)) {
        fail(what, status);
    }
    return out;
}

} // namespace

Sha256 sha256(std::string_view bytes)
{
    return hash(false, {}, bytes);
}

Sha256 hmacSha256(std::string_view key, std::string_view bytes)
{
    return hash(true, key, bytes);
}

std::string randomBytes(std::size_t count)
{
    std::string out(count, '\0');
    for (std::size_t done = 0; done < count;) {
        const std::size_t piece = count - done < kPiece ? count - done : kPiece;
        const NTSTATUS status = BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(out.data() + done),
                                                static_cast<ULONG>(piece), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
        if (!succeeded(status)) {
            char code[16];
            std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
            throw CryptoError(std::string("The system's random source failed (status ") + code + ")");
        }
        done += piece;
    }
    return out;
}

} // namespace crypto
