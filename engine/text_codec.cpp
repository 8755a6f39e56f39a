#include "text_codec.h"

namespace engine {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

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

char32_t SingleByteCodePage::toUnicode(unsigned char byte) const
{
    return byte < 0x80U ? char32_t {byte} : char32_t {m_upper[byte - 0x80U]};
}

unsigned char SingleByteCodePage::fromUnicode(char32_t codePoint, unsigned char replacement) const
{
    if (codePoint < 0x80) {
        return static_cast<unsigned char>(codePoint);
    }
    for (std::size_t i = 0; i < m_upper.size(); ++i) {
        if (char32_t {m_upper[i]} == codePoint) {
            return static_cast<unsigned char>(0x80U + i);
        }
    }
    return replacement;
}

std::string SingleByteCodePage::decode(std::string_view bytes) const
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes) {
        appendUtf8(out, toUnicode(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string SingleByteCodePage::encode(std::string_view utf8, unsigned char replacement) const
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const char32_t codePoint = nextCodePoint(utf8, pos);
        out += static_cast<char>(codePoint == kReplacementCharacter ? replacement
                                                                    : fromUnicode(codePoint, replacement));
    }
    return out;
}

const SingleByteCodePage& codePage1250()
{
    static constexpr SingleByteCodePage page({
        0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, // 80
        0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179, // 88
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
        0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, // 98
        0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, // A0
        0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, // A8
        0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, // B0
        0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, // B8
        0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, // C0
        0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, // C8
        0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, // D0
        0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, // D8
        0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, // E0
        0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, // E8
        0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, // F0
        0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9, // F8
    });
    return page;
}

} // namespace engine
