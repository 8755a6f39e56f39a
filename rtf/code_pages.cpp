#include "rtf/code_pages.h"

#include "text/code_pages.h"

#include <algorithm>
#include <array>
#include <utility>

namespace rtf {

namespace {

using SymbolEntry = std::pair<unsigned char, char16_t>;

// The Symbol font's bytes whose characters differ from Latin-1, sorted by byte.
constexpr std::array kSymbol {
    SymbolEntry {0x22, 0x2200}, SymbolEntry {0x24, 0x2203}, SymbolEntry {0x27, 0x220B}, SymbolEntry {0x2A, 0x2217},
    SymbolEntry {0x2D, 0x2212}, SymbolEntry {0x40, 0x2245}, SymbolEntry {0x41, 0x0391}, SymbolEntry {0x42, 0x0392},
    SymbolEntry {0x43, 0x03A7}, SymbolEntry {0x44, 0x0394}, SymbolEntry {0x45, 0x0395}, SymbolEntry {0x46, 0x03A6},
    SymbolEntry {0x47, 0x0393}, SymbolEntry {0x48, 0x0397}, SymbolEntry {0x49, 0x0399}, SymbolEntry {0x4A, 0x03D1},
    SymbolEntry {0x4B, 0x039A}, SymbolEntry {0x4C, 0x039B}, SymbolEntry {0x4D, 0x039C}, SymbolEntry {0x4E, 0x039D},
    SymbolEntry {0x4F, 0x039F}, SymbolEntry {0x50, 0x03A0}, SymbolEntry {0x51, 0x0398}, SymbolEntry {0x52, 0x03A1},
    SymbolEntry {0x53, 0x03A3}, SymbolEntry {0x54, 0x03A4}, SymbolEntry {0x55, 0x03A5}, SymbolEntry {0x56, 0x03C2},
    SymbolEntry {0x57, 0x03A9}, SymbolEntry {0x58, 0x039E}, SymbolEntry {0x59, 0x03A8}, SymbolEntry {0x5A, 0x0396},
    SymbolEntry {0x5C, 0x2234}, SymbolEntry {0x5E, 0x22A5}, SymbolEntry {0x61, 0x03B1}, SymbolEntry {0x62, 0x03B2},
    SymbolEntry {0x63, 0x03C7}, SymbolEntry {0x64, 0x03B4}, SymbolEntry {0x65, 0x03B5}, SymbolEntry {0x66, 0x03C6},
    SymbolEntry {0x67, 0x03B3}, SymbolEntry {0x68, 0x03B7}, SymbolEntry {0x69, 0x03B9}, SymbolEntry {0x6A, 0x03D5},
    SymbolEntry {0x6B, 0x03BA}, SymbolEntry {0x6C, 0x03BB}, SymbolEntry {0x6D, 0x03BC}, SymbolEntry {0x6E, 0x03BD},
    SymbolEntry {0x6F, 0x03BF}, SymbolEntry {0x70, 0x03C0}, SymbolEntry {0x71, 0x03B8}, SymbolEntry {0x72, 0x03C1},
    SymbolEntry {0x73, 0x03C3}, SymbolEntry {0x74, 0x03C4}, SymbolEntry {0x75, 0x03C5}, SymbolEntry {0x76, 0x03D6},
    SymbolEntry {0x77, 0x03C9}, SymbolEntry {0x78, 0x03BE}, SymbolEntry {0x79, 0x03C8}, SymbolEntry {0x7A, 0x03B6},
    SymbolEntry {0x7E, 0x223C}, SymbolEntry {0xA1, 0x03D2}, SymbolEntry {0xA2, 0x2032}, SymbolEntry {0xA3, 0x2264},
    SymbolEntry {0xA4, 0x2044}, SymbolEntry {0xA5, 0x221E}, SymbolEntry {0xA6, 0x0192}, SymbolEntry {0xA7, 0x2663},
    SymbolEntry {0xA8, 0x2666}, SymbolEntry {0xA9, 0x2665}, SymbolEntry {0xAA, 0x2660}, SymbolEntry {0xAB, 0x2194},
    SymbolEntry {0xAC, 0x2190}, SymbolEntry {0xAD, 0x2191}, SymbolEntry {0xAE, 0x2192}, SymbolEntry {0xAF, 0x2193},
    SymbolEntry {0xB2, 0x2033}, SymbolEntry {0xB3, 0x2265}, SymbolEntry {0xB4, 0x00D7}, SymbolEntry {0xB5, 0x221D},
    SymbolEntry {0xB6, 0x2202}, SymbolEntry {0xB7, 0x2022}, SymbolEntry {0xB8, 0x00F7}, SymbolEntry {0xB9, 0x2260},
    SymbolEntry {0xBA, 0x2261}, SymbolEntry {0xBB, 0x2248}, SymbolEntry {0xBC, 0x2026}, SymbolEntry {0xD6, 0x221A},
    SymbolEntry {0xD7, 0x22C5}, SymbolEntry {0xD8, 0x00AC}, SymbolEntry {0xD9, 0x2227}, SymbolEntry {0xDA, 0x2228},
    SymbolEntry {0xE0, 0x25CA}, SymbolEntry {0xE5, 0x2211}, SymbolEntry {0xF2, 0x222B},
};

// The Wingdings glyphs that word processors offer as list bullets, sorted by byte.
constexpr std::array kWingdings {
    SymbolEntry {0x6C, 0x25CF}, SymbolEntry {0x6E, 0x25A0}, SymbolEntry {0x71, 0x2751},
    SymbolEntry {0x76, 0x2756}, SymbolEntry {0xA7, 0x25AA}, SymbolEntry {0xD8, 0x27A2},
};

template<std::size_t N>
constexpr bool isSorted(const std::array<SymbolEntry, N>& table)
{
    for (std::size_t i = 1; i < N; ++i) {
        if (table[i - 1].first >= table[i].first) {
            return false;
        }
    }
    return true;
}
static_assert(isSorted(kSymbol) && isSorted(kWingdings), "lookupSymbol() searches the tables by halving");

template<std::size_t N>
char32_t lookupSymbol(const std::array<SymbolEntry, N>& table, unsigned char byte)
{
    const auto it = std::lower_bound(table.begin(), table.end(), byte,
                                     [](const SymbolEntry& entry, unsigned char b) { return entry.first < b; });
    return it != table.end() && it->first == byte ? char32_t {it->second} : char32_t {byte};
}

} // namespace

char32_t decodeByte(CodePage page, unsigned char byte)
{
    switch (page) {
    case CodePage::Windows1250:
        return text::codePage1250().toUnicode(byte);
    case CodePage::Windows1251:
        return text::codePage1251().toUnicode(byte);
    case CodePage::Windows1252:
        return text::codePage1252().toUnicode(byte);
    case CodePage::Symbol:
        return lookupSymbol(kSymbol, byte);
    case CodePage::Wingdings:
        return lookupSymbol(kWingdings, byte);
    }
    return byte;
}

std::optional<CodePage> codePageOfCharset(int charset, const QString& family)
{
    switch (charset) {
    case 0:
        return CodePage::Windows1252;
    case 2:
        return family.contains(QLatin1String("Wingdings"), Qt::CaseInsensitive) ? CodePage::Wingdings
                                                                                : CodePage::Symbol;
    case 204:
        return CodePage::Windows1251;
    case 238:
        return CodePage::Windows1250;
    default:
        return std::nullopt;
    }
}

std::optional<CodePage> codePageOfAnsiCpg(int number)
{
    switch (number) {
    case 1250:
        return CodePage::Windows1250;
    case 1251:
        return CodePage::Windows1251;
    case 1252:
        return CodePage::Windows1252;
    default:
        return std::nullopt;
    }
}

char32_t mapSymbolFontCodePoint(CodePage page, char32_t codePoint)
{
    const bool symbolFont = page == CodePage::Symbol || page == CodePage::Wingdings;
    if (symbolFont && codePoint >= 0xF020 && codePoint <= 0xF0FF) {
        return decodeByte(page, static_cast<unsigned char>(codePoint & 0xFFU));
    }
    return codePoint;
}

} // namespace rtf
