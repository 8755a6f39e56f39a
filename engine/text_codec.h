#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The program works in UTF-8 throughout; files written by older stations hold single-byte text in a
// Windows or DOS code page. These helpers convert between the two and count characters, not bytes,
// wherever a rule speaks of characters.
namespace engine {

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Appends the UTF-8 form of `codePoint` (which must be a valid scalar value) to `out`.
void appendUtf8(std::string& out, char32_t codePoint);

// Decodes the code point that starts at `bytes[pos]` and advances `pos` past it. A malformed sequence
// yields U+FFFD and advances by one byte, so every input ends.
char32_t nextCodePoint(std::string_view bytes, std::size_t& pos);

// Number of characters (code points) in a UTF-8 text.
std::size_t utf8Length(std::string_view text);

// The characters from index `first` (0-based, in characters) on, at most `count` of them.
std::string utf8Mid(std::string_view text, std::size_t first, std::size_t count = std::string_view::npos);

// A single-byte code page whose lower half is ASCII. `upperHalf[i]` is the character of byte 0x80 + i.
class SingleByteCodePage
{
public:
    explicit constexpr SingleByteCodePage(const std::array<char16_t, 128>& upperHalf)
        : m_upper(upperHalf)
    { }

    // The character of one byte.
    char32_t toUnicode(unsigned char byte) const;

    // The byte of one character, or `replacement` when the code page cannot hold it.
    unsigned char fromUnicode(char32_t codePoint, unsigned char replacement = '?') const;

    // Whole texts: bytes in this code page to UTF-8, and UTF-8 to bytes (unmappable characters and
    // malformed UTF-8 become `replacement`).
    std::string decode(std::string_view bytes) const;
    std::string encode(std::string_view utf8, unsigned char replacement = '?') const;

private:
    std::array<char16_t, 128> m_upper;
};

// Windows code page 1250 (Central European), in which examiners' test programs were written. The five
// bytes the code page leaves undefined map to the C1 controls of the same value, so every file
// converts and converts back unchanged.
const SingleByteCodePage& codePage1250();

} // namespace engine
