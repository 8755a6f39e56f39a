#include "crypto/key_file.h"

#include "crypto/crypto_error.h"
#include "crypto/primitives.h"
#include "text/messages.h"

namespace crypto {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

[[noreturn]] void refuse(const std::string& path, const std::string& reason)
{
    throw CryptoError(text::formatMessage(text::messages::kCannotReadFile, {path}) + ": " + reason);
}

} // namespace

std::string keyFileText(const Key& key)
{
    return toHex(std::string_view(reinterpret_cast<const char*>(key.data()), key.size())) + '\n';
}

Key parseKeyFileText(std::string_view text, const std::string& path)
{
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    const std::size_t begin = text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
    Key key {};
    std::size_t digits = 0;
    for (std::size_t i = begin; i < text.size(); ++i) {
        if (isWhitespace(text[i])) {
            continue;
        }
        const int value = hexValue(text[i]);
        if (value < 0) {
            refuse(path, "it is not a key file (byte " + std::to_string(i + 1) + " is no hexadecimal digit)");
        }
        if (digits < 2 * kKeySize) {
            auto& byte = key[digits / 2];
            byte = static_cast<std::uint8_t>(digits % 2 == 0 ? value << 4 : byte | value);
        }
        ++digits;
    }
    if (digits != 2 * kKeySize) {
        refuse(path,
               "it is not a key file (it holds " + std::to_string(digits) + " hexadecimal digits, a key has "
                   + std::to_string(2 * kKeySize) + ")");
    }
    return key;
}

} // namespace crypto
