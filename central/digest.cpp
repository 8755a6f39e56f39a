#include "central/digest.h"

#include "central/errors.h"

#include <openssl/evp.h>

namespace central {

Digest sha256(const void* data, std::size_t size)
{
    Digest digest {};
    unsigned int length = 0;
    if (EVP_Digest(data, size, digest.data(), &length, EVP_sha256(), nullptr) != 1 || length != digest.size()) {
        throw DatabaseError("Cannot compute a SHA-256 digest");
    }
    return digest;
}

std::string hex(const Digest& digest)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

} // namespace central
