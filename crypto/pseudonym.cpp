#include "crypto/pseudonym.h"

#include "crypto/primitives.h"

namespace crypto {

std::optional<std::string> pseudonym(const Key& key, std::string_view digits)
{
    if (digits.size() != 9 && digits.size() != 10) {
        return std::nullopt;
    }
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    const Sha256 mac = hmacSha256(std::string_view(reinterpret_cast<const char*>(key.data()), key.size()), digits);
    return kPseudonymPrefix + toHex(std::string_view(reinterpret_cast<const char*>(mac.data()), kPseudonymBytes));
}

} // namespace crypto
