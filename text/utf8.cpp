#include "text/utf8.h"

namespace text {

namespace {

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0U) == 0x80U;
}

// Length and validity of the sequence at bytes[pos]; 0 when malformed.
std::size_t sequenceAt(std::string_view bytes, std::size_t pos, char32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(bytes[pos]);
    if (lead < 0x80U) {
        codePoint = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0U) == 0xC0U) {
        length = 2;
        value = lead & 0x1FU;
        minimum = 0x80;
    } else if ((lead & 0xF0U) == 0xE0U) {
        length = 3;
        value = lead & 0x0FU;
        minimum = 0x800;
    } else if ((lead & 0xF8U) == 0xF0U) {
        length = 4;
        value = lead & 0x07U;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > bytes.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[pos + i]);
        if (!isContinuation(byte)) {
            return 0;
        }
        value = (value << 6) | (byte & 0x3FU);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    codePoint = value;
    return length;
}

} // namespace

bool isValidUtf8(std::string_view bytes)
{
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t codePoint = 0;
        const std::size_t length = sequenceAt(bytes, pos, codePoint);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0U | (codePoint >> 6));
        out += static_cast<char>(0x80U | (codePoint & 0x3FU));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0U | (codePoint >> 12));
        out += static_cast<char>(0x80U | ((codePoint >> 6) & 0x3FU));
        out += static_cast<char>(0x80U | (codePoint & 0x3FU));
    } else {
        out += static_cast<char>(0xF0U | (codePoint >> 18));
        out += static_cast<char>(0x80U | ((codePoint >> 12) & 0x3FU));
        out += static_cast<char>(0x80U | ((codePoint >> 6) & 0x3FU));
        out += static_cast<char>(0x80U | (codePoint & 0x3FU));
    }
}

char32_t nextCodePoint(std::string_view bytes, std::size_t& pos)
{
    char32_t codePoint = 0;
    const std::size_t length = sequenceAt(bytes, pos, codePoint);
    if (length == 0) {
        ++pos;
        return kReplacementCharacter;
    }
    pos += length;
    return codePoint;
}

std::size_t utf8Length(std::string_view text)
{
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        nextCodePoint(text, pos);
    }
    return count;
}

std::string utf8Mid(std::string_view text, std::size_t first, std::size_t count)
{
    std::size_t pos = 0;
    for (std::size_t i = 0; i < first && pos < text.size(); ++i) {
        nextCodePoint(text, pos);
    }
    const std::size_t begin = pos;
    for (std::size_t i = 0; i < count && pos < text.size(); ++i) {
        nextCodePoint(text, pos);
    }
    return std::string(text.substr(begin, pos - begin));
}

} // namespace text
