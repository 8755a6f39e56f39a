#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The program works in UTF-8 throughout. These helpers check and walk UTF-8 text and count characters,
// not bytes, wherever a rule speaks of characters.
namespace text {

// The character that stands in for a malformed sequence.
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Appends the UTF-8 form of `codePoint` (which must be a valid scalar value) to `out`.
void appendUtf8(std::string& out, char32_t codePoint);

// Decodes the code point that starts at `bytes[pos]` and advances `pos` past it. A malformed sequence
// yields kReplacementCharacter and advances by one byte, so every input ends.
char32_t nextCodePoint(std::string_view bytes, std::size_t& pos);

// Number of characters (code points) in a UTF-8 text.
std::size_t utf8Length(std::string_view text);

// The characters from index `first` (0-based, in characters) on, at most `count` of them.
std::string utf8Mid(std::string_view text, std::size_t first, std::size_t count = std::string_view::npos);

} // namespace text
