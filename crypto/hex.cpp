#include "crypto/primitives.h"

namespace crypto {

namespace {

constexpr char kDigits[] = "0123456789abcdef";

} // namespace

std::string toHex(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0FU];
    }
    return out;
}

std::string toHex(const Sha256& value)
{
    return toHex(std::string_view(reinterpret_cast<const char*>(value.data()), value.size()));
}

bool isSha256Hex(std::string_view text)
{
    if (text.size() != 2 * kSha256Size) {
        return false;
    }
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

} // namespace crypto
