#include "storage/code_page.h"

#include <algorithm>
#include <array>
#include <utility>

namespace storage {

namespace {

// Characters of bytes 0x80 to 0xFF; checked byte by byte against the C library's converter in the tests.
constexpr std::array<char16_t, 128> kUpperHalf852 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x016F, 0x0107, 0x00E7, // 80
    0x0142, 0x00EB, 0x0150, 0x0151, 0x00EE, 0x0179, 0x00C4, 0x0106, // 88
    0x00C9, 0x0139, 0x013A, 0x00F4, 0x00F6, 0x013D, 0x013E, 0x015A, // 90
    0x015B, 0x00D6, 0x00DC, 0x0164, 0x0165, 0x0141, 0x00D7, 0x010D, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0104, 0x0105, 0x017D, 0x017E, // A0
    0x0118, 0x0119, 0x00AC, 0x017A, 0x010C, 0x015F, 0x00AB, 0x00BB, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x011A, // B0
    0x015E, 0x2563, 0x2551, 0x2557, 0x255D, 0x017B, 0x017C, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x0102, 0x0103, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, // C8
    0x0111, 0x0110, 0x010E, 0x00CB, 0x010F, 0x0147, 0x00CD, 0x00CE, // D0
    0x011B, 0x2518, 0x250C, 0x2588, 0x2584, 0x0162, 0x016E, 0x2580, // D8
    0x00D3, 0x00DF, 0x00D4, 0x0143, 0x0144, 0x0148, 0x0160, 0x0161, // E0
    0x0154, 0x00DA, 0x0155, 0x0170, 0x00FD, 0x00DD, 0x0163, 0x00B4, // E8
    0x00AD, 0x02DD, 0x02DB, 0x02C7, 0x02D8, 0x00A7, 0x00F7, 0x00B8, // F0
    0x00B0, 0x00A8, 0x02D9, 0x0171, 0x0158, 0x0159, 0x25A0, 0x00A0, // F8
};

// Decoding and encoding run for every text field of every row read or written, so both directions
// use tables built once instead of the code page's per-character search.
struct Tables
{
    std::array<std::string, 128> utf8Of;                        // UTF-8 of byte 0x80 + i
    std::array<std::pair<char32_t, unsigned char>, 128> byteOf; // sorted by character

    Tables()
    {
        for (std::size_t i = 0; i < kUpperHalf852.size(); ++i) {
            engine::appendUtf8(utf8Of[i], kUpperHalf852[i]);
            byteOf[i] = {kUpperHalf852[i], static_cast<unsigned char>(0x80U + i)};
        }
        std::sort(byteOf.begin(), byteOf.end());
    }
};

const Tables& tables()
{
    static const Tables instance;
    return instance;
}

unsigned char byteFor(char32_t codePoint)
{
    if (codePoint < 0x80) {
        return static_cast<unsigned char>(codePoint);
    }
    const auto& byteOf = tables().byteOf;
    const auto it
        = std::lower_bound(byteOf.begin(), byteOf.end(), std::make_pair(codePoint, static_cast<unsigned char>(0)));
    return it != byteOf.end() && it->first == codePoint ? it->second : static_cast<unsigned char>('?');
}

} // namespace

const engine::SingleByteCodePage& codePage852()
{
    static constexpr engine::SingleByteCodePage page(kUpperHalf852);
    return page;
}

std::string decodeCp852(std::string_view bytes)
{
    const auto& utf8Of = tables().utf8Of;
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80U) {
            out += c;
        } else {
            out += utf8Of[byte - 0x80U];
        }
    }
    return out;
}

std::string encodeCp852(std::string_view utf8, std::size_t maxCharacters)
{
    std::string out;
    out.reserve(std::min(utf8.size(), maxCharacters));
    std::size_t pos = 0;
    while (pos < utf8.size() && out.size() < maxCharacters) {
        const auto lead = static_cast<unsigned char>(utf8[pos]);
        if (lead == 0) {
            break;
        }
        if (lead < 0x80U) {
            out += static_cast<char>(lead);
            ++pos;
            continue;
        }
        const std::size_t before = pos;
        const char32_t codePoint = engine::nextCodePoint(utf8, pos);
        // nextCodePoint() advances by one byte over malformed input and yields U+FFFD, which 852 lacks.
        out += static_cast<char>(pos == before + 1 ? static_cast<unsigned char>('?') : byteFor(codePoint));
    }
    return out;
}

} // namespace storage
