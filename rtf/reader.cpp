#include "rtf/reader.h"

#include "rtf/rtf_reader.h"

#include <algorithm>
#include <utility>

#include <QTextDocument>

namespace rtf {

namespace {

constexpr int kMaxUnicodeSkip = 255;

} // namespace

void Reader::read()
{
    for (Token token = m_tokens.next(); token.kind != Token::Kind::End && !m_finished; token = m_tokens.next()) {
        handle(token);
    }
    const GroupState& last = m_stack.empty() ? m_rootState : m_stack.back();
    m_out.finish(blockFormat(last.paragraph), charFormat(last.character, m_tables));
}

void Reader::handle(Token token)
{
    if (m_stack.empty() && token.kind != Token::Kind::GroupStart) {
        return; // before the document's group
    }
    if (skipFallback(token)) {
        return;
    }
    switch (token.kind) {
    case Token::Kind::GroupStart:
        startGroup();
        break;
    case Token::Kind::GroupEnd:
        endGroup();
        break;
    case Token::Kind::ControlWord:
        controlWord(token);
        break;
    case Token::Kind::ControlSymbol:
        controlSymbol(token.value);
        break;
    case Token::Kind::HexByte:
        hexByte(token.value);
        break;
    case Token::Kind::Text:
        text(token.bytes);
        break;
    case Token::Kind::Binary: // pictures and objects: nothing to show
    case Token::Kind::End:
        break;
    }
}

// After \uN a reader that knows Unicode skips the \ucN characters written for readers that do not: each
// byte of text, "\'hh", control word or symbol counts as one; a group boundary ends the skipping.
bool Reader::skipFallback(Token& token)
{
    if (m_fallbackToSkip == 0) {
        return false;
    }
    if (token.kind == Token::Kind::GroupStart || token.kind == Token::Kind::GroupEnd) {
        m_fallbackToSkip = 0;
        return false;
    }
    if (token.kind != Token::Kind::Text) {
        --m_fallbackToSkip;
        return true;
    }
    const qsizetype skipped = std::min<qsizetype>(m_fallbackToSkip, token.bytes.size());
    m_fallbackToSkip -= static_cast<int>(skipped);
    token.bytes = token.bytes.sliced(skipped);
    return token.bytes.isEmpty();
}

void Reader::startGroup()
{
    if (m_stack.size() >= static_cast<std::size_t>(kMaxGroupDepth)) {
        skipToGroupEnd(); // the whole group, unread and never pushed
        return;
    }
    m_stack.push_back(m_stack.empty() ? GroupState {} : m_stack.back());
    state().starred = false;
}

void Reader::endGroup()
{
    const GroupState closed = std::move(m_stack.back());
    m_stack.pop_back();
    m_formatDirty = true;
    if (m_stack.empty()) {
        m_rootState = closed;
        m_finished = true;
        return;
    }
    const Destination outer = state().destination;
    if (m_fontEntry >= 0 && m_stack.size() < m_fontEntryDepth) {
        finishFontEntry(); // the entry's group closed without the ';' that normally ends the name
    }
    if (closed.destination == Destination::ColourTable && outer != Destination::ColourTable && m_colourSet) {
        finishColourEntry(); // the last entry lacks its ';'
    }
    if (closed.destination == Destination::Numbering && outer != Destination::Numbering) {
        state().paragraph.numbering = m_numbering;
    }
}

// Consumes tokens up to the '}' that closes the group the reader is in; false when the data ends first.
bool Reader::skipToGroupEnd()
{
    m_fallbackToSkip = 0;
    int depth = 1;
    for (Token token = m_tokens.next(); token.kind != Token::Kind::End; token = m_tokens.next()) {
        if (token.kind == Token::Kind::GroupStart) {
            ++depth;
        } else if (token.kind == Token::Kind::GroupEnd && --depth == 0) {
            return true;
        }
    }
    return false;
}

void Reader::skipRestOfGroup()
{
    if (skipToGroupEnd()) {
        endGroup();
    }
}

void Reader::controlWord(const Token& token)
{
    const Word word = lookupWord(token.bytes);
    const bool starred = std::exchange(state().starred, false);
    // "\*" marks a destination that readers which do not know it skip whole.
    if (word == Word::IgnoredDestination || (starred && !isReadDestination(word))) {
        skipRestOfGroup();
        return;
    }
    if (destinationWord(word)) {
        return;
    }
    switch (state().destination) {
    case Destination::FontTable:
        fontTableWord(word, token);
        return;
    case Destination::ColourTable:
        colourTableWord(word, token);
        return;
    case Destination::Numbering:
    case Destination::NumberingBefore:
    case Destination::NumberingAfter:
        if (applyNumberingWord(m_numbering, word, token.hasParameter, token.parameter)) {
            return;
        }
        break;
    case Destination::Body:
    case Destination::ListMarker:
        break;
    }
    if (applyCharacterWord(state().character, word, token.hasParameter, token.parameter)) {
        m_formatDirty = true;
        return;
    }
    if (applyParagraphWord(state().paragraph, word, token.hasParameter, token.parameter)) {
        return;
    }
    documentWord(word, token);
}

bool Reader::destinationWord(Word word)
{
    GroupState& current = state();
    switch (word) {
    case Word::FontTable:
        current.destination = Destination::FontTable;
        m_fontEntry = -1;
        m_fontName.clear();
        return true;
    case Word::ColourTable:
        current.destination = Destination::ColourTable;
        m_tables.colours.clear();
        m_colourSet = false;
        m_red = m_green = m_blue = 0;
        return true;
    case Word::ListText:
        current.destination = Destination::ListMarker;
        m_markerPending = true;
        m_markerText.clear();
        m_markerHasFormat = false;
        return true;
    case Word::Numbering:
        current.destination = Destination::Numbering;
        m_numbering = ListNumbering {};
        return true;
    case Word::NumberingBefore:
    case Word::NumberingAfter:
        if (current.destination != Destination::Numbering) {
            skipRestOfGroup(); // number text outside a \pn group belongs to no list
            return true;
        }
        current.destination
            = word == Word::NumberingBefore ? Destination::NumberingBefore : Destination::NumberingAfter;
        return true;
    default:
        return false;
    }
}

void Reader::documentWord(Word word, const Token& token)
{
    switch (word) {
    case Word::Ansi:
    case Word::OtherCharacterSet: // Mac and DOS code pages: no tables here, so the RTF default
        m_tables.codePage = CodePage::Windows1252;
        return;
    case Word::AnsiCodePage:
        m_tables.codePage = codePageOfAnsiCpg(token.parameter).value_or(CodePage::Windows1252);
        return;
    case Word::DefaultFont:
        m_tables.defaultFont = std::max(token.parameter, 0);
        m_formatDirty = true;
        return;
    case Word::UnicodeSkip:
        state().unicodeSkip = std::clamp(token.parameter, 0, kMaxUnicodeSkip);
        return;
    case Word::Unicode:
        if (token.hasParameter) {
            unicode(token.parameter);
        }
        return;
    case Word::Par:
        paragraphMark();
        return;
    case Word::Cell:
        if (state().destination == Destination::Body) {
            m_cellParagraphEnded = false;
            startContent();
            ++m_pendingCells;
        }
        return;
    case Word::Row:
        m_pendingCells = 0;
        m_cellParagraphEnded = false;
        endParagraph();
        return;
    default:
        if (const char32_t special = specialCharacter(word); special != 0) {
            sendCharacter(special);
        }
        return;
    }
}

void Reader::fontTableWord(Word word, const Token& token)
{
    switch (word) {
    case Word::Font:
        finishFontEntry();
        m_fontEntry = std::max(token.parameter, 0);
        m_fontEntryDepth = m_stack.size();
        m_tables.fonts[m_fontEntry] = FontEntry {};
        return;
    case Word::Charset:
        if (m_fontEntry >= 0) {
            m_tables.fonts[m_fontEntry].charset = std::max(token.parameter, 0);
        }
        return;
    case Word::Unicode:
    case Word::UnicodeSkip:
        documentWord(word, token);
        return;
    default:
        return;
    }
}

void Reader::colourTableWord(Word word, const Token& token)
{
    const int component = std::clamp(token.parameter, 0, 255);
    switch (word) {
    case Word::Red:
        m_red = component;
        break;
    case Word::Green:
        m_green = component;
        break;
    case Word::Blue:
        m_blue = component;
        break;
    default:
        return;
    }
    m_colourSet = true;
}

void Reader::controlSymbol(unsigned char symbol)
{
    switch (symbol) {
    case '\\':
    case '{':
    case '}': {
        const char literal = static_cast<char>(symbol);
        text(QByteArrayView(&literal, 1));
        return;
    }
    case '~':
        sendCharacter(0x00A0);
        return;
    case '-':
        sendCharacter(0x00AD);
        return;
    case '_':
        sendCharacter(0x2011);
        return;
    case '*':
        state().starred = true;
        return;
    case '\t':
        sendCharacter('\t');
        return;
    case '\r':
    case '\n': // a backslash before a line end is a paragraph end
        paragraphMark();
        return;
    default:
        return;
    }
}

bool looksLikeRtf(QByteArrayView data)
{
    QByteArrayView rest = data;
    if (rest.startsWith("\xEF\xBB\xBF")) {
        rest = rest.sliced(3);
    }
    while (!rest.isEmpty()
           && (rest.front() == ' ' || rest.front() == '\t' || rest.front() == '\r' || rest.front() == '\n'
               || rest.front() == '\f')) {
        rest = rest.sliced(1);
    }
    return rest.startsWith("{\\rtf");
}

void readRtf(QByteArrayView data, QTextDocument& document)
{
    Reader(data, document).read();
}

} // namespace rtf
