#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text fields of the tables hold DOS code page 852 (Central European), which older stations and the labs'
// other programs expect; the program itself works in UTF-8. These are the table engine's way to the
// code page: a field's text is cut to its width in characters.
namespace text {

// Bytes in code page 852 to UTF-8. Every byte has a character, so nothing is lost.
std::string decodeCp852(std::string_view bytes);

// The first `maxCharacters` characters of the UTF-8 text `utf8`, up to (not including) its first NUL,
// as code page 852 bytes: one byte per character, "?" for a character the code page cannot hold
// and for each byte of malformed UTF-8.
std::string encodeCp852(std::string_view utf8, std::size_t maxCharacters);

} // namespace text
