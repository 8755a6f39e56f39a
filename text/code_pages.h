#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The single-byte code pages of the files older stations and other programs write: Windows code pages
// for test programs and instruction screens, the DOS code page 852 for the results table's text fields.
// Every table lists the upper half; the lower half is ASCII.
namespace text {

// A single-byte code page whose lower half is ASCII. `upperHalf[i]` is the character of byte 0x80 + i.
class SingleByteCodePage
{
public:
    explicit constexpr SingleByteCodePage(const std::array<char16_t, 128>& upperHalf)
        : m_upper(upperHalf)
        , m_byCharacter()
    {
        // The reverse table, sorted by character for a halving search. Insertion sort is stable, so of
        // two bytes with the same character the lower one is found.
        for (std::size_t i = 0; i < m_byCharacter.size(); ++i) {
            m_byCharacter[i] = Entry {upperHalf[i], static_cast<unsigned char>(0x80U + i)};
        }
        for (std::size_t i = 1; i < m_byCharacter.size(); ++i) {
            for (std::size_t j = i; j > 0 && m_byCharacter[j - 1].character > m_byCharacter[j].character; --j) {
                const Entry swapped = m_byCharacter[j];
                m_byCharacter[j] = m_byCharacter[j - 1];
                m_byCharacter[j - 1] = swapped;
            }
        }
    }

    // The character of one byte.
    char32_t toUnicode(unsigned char byte) const;

    // The byte of one character, or `replacement` when the code page cannot hold it.
    unsigned char fromUnicode(char32_t codePoint, unsigned char replacement = '?') const;

    // Whole texts: bytes in this code page to UTF-8, and UTF-8 to bytes (unmappable characters and each
    // byte of malformed UTF-8 become `replacement`).
    std::string decode(std::string_view bytes) const;
    std::string encode(std::string_view utf8, unsigned char replacement = '?') const;

private:
    struct Entry
    {
        char16_t character;
        unsigned char byte;
    };

    std::array<char16_t, 128> m_upper;
    std::array<Entry, 128> m_byCharacter;
};

// Windows code page 1250 (Central European): the stations' own code page, in which examiners' test
// programs and Czech instruction screens are written. In this and the other Windows code pages the bytes
// the code page leaves undefined map to the C1 controls of the same value, so every file converts and
// converts back unchanged.
const SingleByteCodePage& codePage1250();

// Windows code page 1251 (Cyrillic).
const SingleByteCodePage& codePage1251();

// Windows code page 1252 (Western), the default of rich-text files.
const SingleByteCodePage& codePage1252();

// DOS code page 852 (Central European), in which the results table stores its text fields.
const SingleByteCodePage& codePage852();

} // namespace text
