#pragma once

#include "rtf/document_builder.h"
#include "rtf/group_state.h"
#include "rtf/tokenizer.h"

#include <vector>

#include <QHash>
#include <QString>
#include <QTextCharFormat>

class QTextDocument;

namespace rtf {

// The group-state reader behind readRtf(): walks the tokens once, keeps a stack of group states and sends
// the visible text with its formats to a DocumentBuilder. One Reader reads one input.
class Reader
{
public:
    // Clears `document`; `data` and `document` must outlive the reader.
    Reader(QByteArrayView data, QTextDocument& document)
        : m_tokens(data)
        , m_out(document)
    { }

    // Reads the whole input into the document (see readRtf for the contract). Call it once.
    void read();

private:
    void handle(Token token);
    bool skipFallback(Token& token);
    void startGroup();
    void endGroup();
    bool skipToGroupEnd();
    void skipRestOfGroup();

    void controlWord(const Token& token);
    bool destinationWord(Word word);
    void documentWord(Word word, const Token& token);
    void fontTableWord(Word word, const Token& token);
    void colourTableWord(Word word, const Token& token);
    void controlSymbol(unsigned char symbol);

    void text(QByteArrayView bytes);
    void hexByte(unsigned char byte);
    void unicode(int parameter);
    void sendCharacter(char32_t codePoint);
    void sendText(const QString& text);
    CodePage textCodePage() const;

    void startContent();
    // \par: the end of a paragraph, or of a paragraph inside a table cell, which does not end the line.
    void paragraphMark();
    void endParagraph();
    void flushPendingMarker();
    int nextListNumber(const ParagraphState& paragraph);
    void finishFontEntry();
    void finishColourEntry();
    const QTextCharFormat& currentFormat();

    GroupState& state() { return m_stack.back(); }

    Tokenizer m_tokens;
    std::vector<GroupState> m_stack;
    GroupState m_rootState; // the outermost group's state as it closed
    bool m_finished = false;
    DocumentTables m_tables;
    DocumentBuilder m_out;
    QTextCharFormat m_format; // the format of state().character, rebuilt when m_formatDirty
    bool m_formatDirty = true;

    int m_fallbackToSkip = 0;     // fallback characters of the last \u still to be skipped
    char16_t m_highSurrogate = 0; // first half of a character outside the BMP, written as two \u

    int m_fontEntry = -1;             // font being defined in the font table; -1: none
    std::size_t m_fontEntryDepth = 0; // group depth at which its definition started
    QString m_fontName;
    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;
    bool m_colourSet = false; // the colour entry being read has a component

    bool m_markerPending = false; // a list marker group was read and is still to be shown
    QString m_markerText;
    QTextCharFormat m_markerFormat;
    bool m_markerHasFormat = false;
    ListNumbering m_numbering;      // the \pn group being read
    QHash<int, int> m_listCounters; // \ls -> last number given
    int m_unlistedCounter = 0;      // last number given to an item without \ls
    int m_lastNumberedParagraph = -2;
    int m_paragraphCount = 0;
    int m_pendingCells = 0;            // \cell ends not yet written as TABs (none is written after a row's last cell)
    bool m_cellParagraphEnded = false; // a \par inside a table cell, not written as a line end
};

} // namespace rtf
