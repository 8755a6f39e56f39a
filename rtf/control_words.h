#pragma once

#include <QByteArrayView>

// The control words the reader acts on. Several spellings can share one meaning (\lin is \li for
// left-to-right text, \nestcell is \cell in a nested table); every destination the reader skips unread
// shares IgnoredDestination.
namespace rtf {

enum class Word {
    Unknown,
    // Destinations: the group they start holds no body text.
    FontTable,
    ColourTable,
    ListText,
    Numbering,
    NumberingBefore,
    NumberingAfter,
    IgnoredDestination,
    // Everything else.
    Ansi,
    AnsiCodePage,
    Bold,
    Blue,
    BulletChar,
    Caps,
    Background,
    Cell,
    Colour,
    DefaultFont,
    EmDash,
    EmSpace,
    EnDash,
    EnSpace,
    Font,
    Charset,
    FirstIndent,
    FontSize,
    Green,
    InTable,
    Italic,
    LeftDoubleQuote,
    LeftIndent,
    Line,
    LeftQuote,
    ListId,
    LeftToRightMark,
    OtherCharacterSet,
    Row,
    NoSuperSub,
    Par,
    Pard,
    Plain,
    NumberDecimal,
    NumberFont,
    NumberLowerLetter,
    NumberLowerRoman,
    NumberBody,
    NumberBullet,
    NumberStart,
    NumberUpperLetter,
    NumberUpperRoman,
    AlignCentre,
    AlignJustify,
    AlignLeft,
    QuarterEmSpace,
    AlignRight,
    RightDoubleQuote,
    Red,
    RightIndent,
    RightQuote,
    RightToLeftMark,
    SpaceAfter,
    SpaceBefore,
    SmallCaps,
    Strike,
    Subscript,
    Superscript,
    Tab,
    BarTab,
    TabCentre,
    TabDecimal,
    TabRight,
    TabStop,
    Unicode,
    UnicodeSkip,
    Underline,
    UnderlineDotted,
    UnderlineDash,
    UnderlineDashDot,
    UnderlineDashDotDot,
    UnderlineWave,
    UnderlineNone,
    Hidden,
    ZeroWidthJoiner,
    ZeroWidthNonJoiner,
};

// The meaning of control word `name` (its letters, without backslash or parameter); Unknown for words
// the reader ignores.
Word lookupWord(QByteArrayView name);

// True for destinations whose text the reader takes in (body-less groups such as the font table, list
// markers and numbering); a "\*" group starting with any other word is skipped.
bool isReadDestination(Word word);

// The character a character word stands for (\emdash, \line: U+2028, \tab: TAB, ...); 0 for other words.
char32_t specialCharacter(Word word);

} // namespace rtf
