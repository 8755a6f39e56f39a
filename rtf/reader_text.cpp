// The reader's output side: decoding text in the current font's code page, sending it where the group's
// destination says, and turning paragraph ends, list markers and table cells into document text.
#include "rtf/reader.h"

#include <algorithm>
#include <utility>

#include <QChar>

namespace rtf {

namespace {

constexpr int kMaxFontNameLength = 256;

bool isSurrogate(char32_t c, char32_t first)
{
    return c >= first && c <= first + 0x3FF;
}

// Appends `codePoint` as document text. Control characters other than TAB carry no text; a paragraph
// separator or one of Qt's frame markers would split the builder's paragraph behind its back, so they
// become a line separator or nothing.
void appendCharacter(QString& out, char32_t codePoint)
{
    if (codePoint == '\t') {
        out += QLatin1Char('\t');
    } else if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0)) {
        return;
    } else if (codePoint == 0x2029) {
        out += QChar(QChar::LineSeparator);
    } else if (codePoint == 0xFDD0 || codePoint == 0xFDD1 || isSurrogate(codePoint, 0xD800)
               || isSurrogate(codePoint, 0xDC00) || codePoint > 0x10FFFF) {
        return;
    } else if (codePoint > 0xFFFF) {
        out += QChar(QChar::highSurrogate(codePoint));
        out += QChar(QChar::lowSurrogate(codePoint));
    } else {
        out += QChar(static_cast<char16_t>(codePoint));
    }
}

void appendCapped(QString& out, const QString& text, qsizetype limit)
{
    out += text.left(std::max<qsizetype>(limit - out.size(), 0));
}

} // namespace

CodePage Reader::textCodePage() const
{
    const GroupState& current = m_stack.back();
    switch (current.destination) {
    case Destination::FontTable: {
        // A font's name is in its own charset, except for symbol fonts, whose names are plain letters.
        const auto entry = m_tables.fonts.constFind(m_fontEntry);
        if (entry != m_tables.fonts.constEnd() && entry->charset >= 0 && entry->charset != 2) {
            return codePageOfCharset(entry->charset, entry->family).value_or(m_tables.codePage);
        }
        return m_tables.codePage;
    }
    case Destination::NumberingBefore:
    case Destination::NumberingAfter:
        if (m_numbering.font >= 0) {
            return m_tables.codePageOf(m_numbering.font);
        }
        break;
    default:
        break;
    }
    return m_tables.codePageOf(current.character.font);
}

void Reader::text(QByteArrayView bytes)
{
    const Destination destination = state().destination;
    if (destination == Destination::ColourTable) {
        for (const char c : bytes) {
            if (c == ';') {
                finishColourEntry();
            }
        }
        return;
    }
    if (destination == Destination::Numbering) {
        return;
    }
    const CodePage page = textCodePage();
    QString decoded;
    decoded.reserve(bytes.size());
    for (const char c : bytes) {
        if (c == ';' && destination == Destination::FontTable) {
            sendText(decoded);
            decoded.clear();
            finishFontEntry();
            continue;
        }
        appendCharacter(decoded, decodeByte(page, static_cast<unsigned char>(c)));
    }
    sendText(decoded);
}

void Reader::hexByte(unsigned char byte)
{
    const Destination destination = state().destination;
    if (destination != Destination::ColourTable && destination != Destination::Numbering) {
        sendCharacter(decodeByte(textCodePage(), byte));
    }
}

void Reader::unicode(int parameter)
{
    m_fallbackToSkip = state().unicodeSkip;
    // RTF parameters are signed 16-bit: characters above U+7FFF are written negative.
    const int value = parameter < 0 ? parameter + 65536 : parameter;
    if (value < 0) {
        return;
    }
    char32_t codePoint = mapSymbolFontCodePoint(textCodePage(), static_cast<char32_t>(value));
    if (isSurrogate(codePoint, 0xD800)) {
        m_highSurrogate = static_cast<char16_t>(codePoint);
        return;
    }
    if (isSurrogate(codePoint, 0xDC00)) {
        if (m_highSurrogate == 0) {
            return;
        }
        codePoint = QChar::surrogateToUcs4(m_highSurrogate, static_cast<char16_t>(codePoint));
    }
    sendCharacter(codePoint);
}

void Reader::sendCharacter(char32_t codePoint)
{
    QString text;
    appendCharacter(text, codePoint);
    sendText(text);
}

void Reader::sendText(const QString& text)
{
    m_highSurrogate = 0;
    GroupState& current = state();
    if (text.isEmpty() || current.character.hidden) {
        return;
    }
    switch (current.destination) {
    case Destination::Body:
        startContent();
        m_out.appendText(text, currentFormat());
        return;
    case Destination::ListMarker:
        m_markerText += text;
        m_markerFormat = currentFormat();
        m_markerHasFormat = true;
        return;
    case Destination::FontTable:
        if (m_fontEntry >= 0) {
            appendCapped(m_fontName, text, kMaxFontNameLength);
        }
        return;
    case Destination::NumberingBefore:
        appendCapped(m_numbering.before, text, ListNumbering::kMaxAffixLength);
        return;
    case Destination::NumberingAfter:
        appendCapped(m_numbering.after, text, ListNumbering::kMaxAffixLength);
        return;
    case Destination::ColourTable:
    case Destination::Numbering:
        return;
    }
}

// Text is about to go into the paragraph: first the list marker and the TABs of finished cells before it.
void Reader::startContent()
{
    if (m_cellParagraphEnded) {
        m_cellParagraphEnded = false;
        if (!state().paragraph.inTable) {
            endParagraph(); // the table ended without its row end: the text after it is a line of its own
        } else if (m_pendingCells == 0) {
            m_out.appendText(QStringLiteral(" "), currentFormat()); // the next paragraph of the same cell
        }
    }
    flushPendingMarker();
    if (m_pendingCells > 0) {
        m_out.appendText(QString(m_pendingCells, QLatin1Char('\t')), currentFormat());
        m_pendingCells = 0;
    }
}

void Reader::paragraphMark()
{
    if (state().paragraph.inTable && state().destination == Destination::Body) {
        // A paragraph end inside a table cell does not end the row's line (some writers end every cell's
        // text with one); a further paragraph of the same cell follows after a space.
        m_cellParagraphEnded = true;
        return;
    }
    endParagraph();
}

void Reader::endParagraph()
{
    if (state().destination != Destination::Body) {
        return;
    }
    flushPendingMarker(); // a list item without text still shows its marker
    m_pendingCells = 0;
    m_cellParagraphEnded = false;
    m_out.endParagraph(blockFormat(state().paragraph), currentFormat());
    ++m_paragraphCount;
}

// The marker comes before the paragraph's text, but the numbering it may need (\pn) can follow it, so it
// is written only when the paragraph's first text (or its end) arrives.
void Reader::flushPendingMarker()
{
    if (!m_markerPending) {
        return;
    }
    m_markerPending = false;
    QString marker = std::exchange(m_markerText, QString());
    const qsizetype spaces
        = std::find_if(marker.cbegin(), marker.cend(), [](QChar c) { return c != u' '; }) - marker.cbegin();
    marker.remove(0, spaces);
    const bool visible = std::any_of(marker.cbegin(), marker.cend(), [](QChar c) { return !c.isSpace(); });
    const ParagraphState& paragraph = state().paragraph;
    if (!visible && paragraph.numbering.style != ListNumbering::Style::None) {
        // Some writers put only " \t" in the marker group and leave the number to the \pn settings.
        const QString number = numberText(paragraph.numbering.style, nextListNumber(paragraph));
        marker = paragraph.numbering.before + number + paragraph.numbering.after
            + (marker.isEmpty() ? QStringLiteral("\t") : marker);
    }
    m_out.appendText(marker, m_markerHasFormat ? m_markerFormat : currentFormat());
}

// Items of one \ls list count up through the document; items without \ls count up while they follow each
// other and start again after any other paragraph.
int Reader::nextListNumber(const ParagraphState& paragraph)
{
    int number = paragraph.numbering.start;
    if (paragraph.listId > 0) {
        const auto it = m_listCounters.constFind(paragraph.listId);
        if (it != m_listCounters.constEnd()) {
            number = *it + 1;
        }
        m_listCounters.insert(paragraph.listId, number);
    } else {
        if (m_lastNumberedParagraph == m_paragraphCount - 1) {
            number = m_unlistedCounter + 1;
        }
        m_unlistedCounter = number;
    }
    m_lastNumberedParagraph = m_paragraphCount;
    return number;
}

void Reader::finishFontEntry()
{
    if (m_fontEntry >= 0) {
        m_tables.fonts[m_fontEntry].family = m_fontName.trimmed();
        m_formatDirty = true;
    }
    m_fontEntry = -1;
    m_fontName.clear();
}

// An entry without any component ("{\colortbl;" starts with one) is the automatic colour.
void Reader::finishColourEntry()
{
    if (m_colourSet) {
        m_tables.colours.append(QColor(m_red, m_green, m_blue));
    } else {
        m_tables.colours.append(std::nullopt);
    }
    m_red = m_green = m_blue = 0;
    m_colourSet = false;
    m_formatDirty = true;
}

const QTextCharFormat& Reader::currentFormat()
{
    if (m_formatDirty) {
        m_format = charFormat(state().character, m_tables);
        m_formatDirty = false;
    }
    return m_format;
}

} // namespace rtf
