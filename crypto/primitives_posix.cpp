#include "crypto/crypto_error.h"
#include "crypto/primitives.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/random.h>

namespace crypto {

namespace {

// The library's reason for the last failure, or a plain word where it left none.
std::string libraryReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return "no reason given";
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

const unsigned char* bytesOf(std::string_view text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

} // namespace

Sha256 sha256(std::string_view bytes)
{
    Sha256 out {};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), out.data(), &length, EVP_sha256(), nullptr) != 1
        || length != out.size()) {
        throw CryptoError("SHA-256 failed in the system's cryptography library: " + libraryReason());
    }
    return out;
}

Sha256 hmacSha256(std::string_view key, std::string_view bytes)
{
    if (key.size() > static_cast<std::size_t>(INT_MAX)) {
        throw CryptoError("HMAC-SHA-256 failed: the key is longer than the library takes");
    }
    Sha256 out {};
    unsigned int length = 0;
    // An empty key is a valid HMAC key; the library wants a pointer that is not null for it.
    static const unsigned char kNoKey = 0;
    const void* keyBytes = key.empty() ? static_cast<const void*>(&kNoKey) : key.data();
    if (HMAC(EVP_sha256(), keyBytes, static_cast<int>(key.size()), bytesOf(bytes), bytes.size(), out.data(), &length)
            == nullptr
        || length != out.size()) {
        throw CryptoError("HMAC-SHA-256 failed in the system's cryptography library: " + libraryReason());
    }
    return out;
}

std::string randomBytes(std::size_t count)
{
    std::string out(count, '\0');
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::getrandom(out.data() + done, count - done, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw CryptoError(std::string("The system's random source failed: ")
                              + (n < 0 ? std::strerror(errno) : "it gave no bytes"));
        }
        done += static_cast<std::size_t>(n);
    }
    return out;
}

} // namespace crypto
