#pragma once

#include "rtf/code_pages.h"
#include "rtf/control_words.h"

#include <optional>

#include <QColor>
#include <QHash>
#include <QList>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextOption>

// The state an RTF group carries: every '{' starts with a copy of the enclosing group's state and every '}'
// restores it. The reader keeps a stack of these; this file says what the formatting words do to them and
// how a state becomes Qt formats.
namespace rtf {

// Where the text of a group goes.
enum class Destination {
    Body,            // the visible document
    FontTable,       // font names
    ColourTable,     // ';' ends a colour entry; other text is ignored
    ListMarker,      // \listtext or \pntext: the marker shown in front of a list item
    Numbering,       // \pn: how a list numbers its items; text here is ignored
    NumberingBefore, // \pntxtb: text in front of the number
    NumberingAfter,  // \pntxta: text after the number
};

// Font size of text without \fs: 12 points, in the half-points \fs counts in.
inline constexpr int kDefaultHalfPoints = 24;

struct CharacterState
{
    int font = -1; // index in the font table; -1: the document's default font (\deff)
    int halfPoints = kDefaultHalfPoints;
    bool bold = false;
    bool italic = false;
    bool strikeOut = false;
    bool hidden = false; // \v: text that is never shown
    QTextCharFormat::UnderlineStyle underline = QTextCharFormat::NoUnderline;
    QFont::Capitalization capitalization = QFont::MixedCase;
    QTextCharFormat::VerticalAlignment verticalAlignment = QTextCharFormat::AlignNormal;
    int colour = 0;     // index in the colour table
    int background = 0; // index in the colour table; 0: no background
};

// A list's numbering as \pn describes it; used to make a marker when the list marker group has none.
struct ListNumbering
{
    enum class Style { None, Bullet, Decimal, UpperLetter, LowerLetter, UpperRoman, LowerRoman };
    // Longer \pntxtb / \pntxta texts are cut, so that a marker made for each item stays small.
    static constexpr int kMaxAffixLength = 32;

    Style style = Style::None;
    int start = 1;
    int font = -1; // \pnf: the font of before/after, for decoding their bytes
    QString before;
    QString after;
};

struct TabStop
{
    int twips = 0; // from the left edge of the text, as RTF measures it
    QTextOption::TabType type = QTextOption::LeftTab;
};

struct ParagraphState
{
    // More \tx in one paragraph are ignored; keeps copying a state on every '{' cheap.
    static constexpr int kMaxTabStops = 64;

    Qt::Alignment alignment = Qt::AlignLeft;
    int leftTwips = 0;
    int rightTwips = 0;
    int firstLineTwips = 0; // relative to leftTwips; negative for a hanging indent
    int beforeTwips = 0;
    int afterTwips = 0;
    QList<TabStop> tabs;
    QTextOption::TabType nextTabType = QTextOption::LeftTab; // set by \tqr etc. for the next \tx
    int listId = 0;                                          // \ls; 0: not a list item
    ListNumbering numbering;
    bool inTable = false; // \intbl: the paragraph is part of a table cell
};

struct GroupState
{
    Destination destination = Destination::Body;
    CharacterState character;
    ParagraphState paragraph;
    int unicodeSkip = 1;  // \uc: fallback characters to skip after each \u
    bool starred = false; // "\*" was read and the control word it marks is still to come
};

struct FontEntry
{
    QString family;
    int charset = -1; // -1: no \fcharset written
};

// The document-wide tables the formatting words refer to, filled from the font and colour tables.
struct DocumentTables
{
    QHash<int, FontEntry> fonts;
    QList<std::optional<QColor>> colours; // nullopt: an empty entry, the "automatic" colour
    int defaultFont = 0;
    CodePage codePage = CodePage::Windows1252;

    // The entry of font `index` (-1 meaning the default font); the default font's entry when `index` is not
    // in the table; nullptr when neither is.
    const FontEntry* font(int index) const;
    // The code page of text in font `index`.
    CodePage codePageOf(int index) const;
};

// Apply `word` (with its parameter, if written) to the state. Each returns false, and changes nothing, for a
// word that is not of its kind. Parameters are clamped to what the formats can hold.
bool applyCharacterWord(CharacterState& state, Word word, bool hasParameter, int parameter);
bool applyParagraphWord(ParagraphState& state, Word word, bool hasParameter, int parameter);
bool applyNumberingWord(ListNumbering& numbering, Word word, bool hasParameter, int parameter);

// Lengths in the document are in pixels of a 96-dpi screen, the unit in which Qt lays out a document and
// matching the points of font sizes (72 points or 1440 twips to the inch).
double twipsToPixels(int twips);

QTextCharFormat charFormat(const CharacterState& state, const DocumentTables& tables);
// Qt measures tab stops from where the first line starts, RTF from the left edge: the stops are moved by
// the first line's indent. A hanging indent also acts as a tab stop, as word processors treat it, so that
// the TAB after a list marker reaches the indent.
QTextBlockFormat blockFormat(const ParagraphState& state);

// The number of list item `number` in `style` ("3", "C", "iii"); empty for Style::None and Style::Bullet.
QString numberText(ListNumbering::Style style, int number);

} // namespace rtf
