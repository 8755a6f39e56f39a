#pragma once

#include <optional>

#include <QString>

// How the single bytes of RTF text (literal or "\'hh") map to characters. Which table applies depends on the
// font the text is in (its \fcharset) and on the document's \ansicpg.
namespace rtf {

enum class CodePage {
    Windows1250, // Central European; Czech instruction files written on Czech Windows
    Windows1251, // Cyrillic
    Windows1252, // Western; the RTF default
    Symbol,      // the Symbol font: Greek letters and mathematical signs, the bullet at 0xB7
    Wingdings,   // the Wingdings font, for the few glyphs word processors use as list bullets
};

// The character of `byte` in `page`. Bytes a code page leaves undefined map to the C1 control of the same
// value; symbol-font bytes without a known character map as in Latin-1.
char32_t decodeByte(CodePage page, unsigned char byte);

// The code page of a font declared with \fcharset `charset` (named `family`; it tells Wingdings from Symbol,
// which share a charset), or nothing where the document's code page applies (the default charset, and
// charsets this reader has no table for).
std::optional<CodePage> codePageOfCharset(int charset, const QString& family);

// The code page of \ansicpg `number`, or nothing when this reader has no table for it.
std::optional<CodePage> codePageOfAnsiCpg(int number);

// Word processors write the characters of symbol fonts as \u in the private-use block U+F020..U+F0FF,
// where the low byte is the font's byte. For a symbol font, the character that code point stands for;
// otherwise, and for every other code point, `codePoint` itself.
char32_t mapSymbolFontCodePoint(CodePage page, char32_t codePoint);

} // namespace rtf
