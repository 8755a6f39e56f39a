#pragma once

#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

class QTextDocument;

// Writes the text the reader produces into a QTextDocument as it comes. Text in one format is gathered
// into one insertion, so that text written a character at a time ("\'e1", "\u225") costs no more than a
// plain run; nothing else is held back, so memory stays with the document.
namespace rtf {

class DocumentBuilder
{
public:
    // Clears `document` (which must outlive the builder) and its undo stack, and turns undo off until
    // finish() so that reading does not record every insertion.
    explicit DocumentBuilder(QTextDocument& document);
    DocumentBuilder(const DocumentBuilder&) = delete;
    DocumentBuilder& operator=(const DocumentBuilder&) = delete;

    // Appends `text` in `format` to the open paragraph. `text` must hold no paragraph separators ('\n',
    // '\r', U+2029) nor Qt's frame markers; line separators (U+2028) and tabs are fine.
    void appendText(const QString& text, const QTextCharFormat& format);

    // Ends the open paragraph: `block` is its format, `mark` the format of its end (which sets the height of
    // an empty paragraph).
    void endParagraph(const QTextBlockFormat& block, const QTextCharFormat& mark);

    // Gives the open paragraph `block` and `mark`, removes the blank paragraphs (no text but white space) at
    // the end, as a word processor shows none there, and restores the document's undo setting. Call it
    // once; nothing may be appended after it.
    void finish(const QTextBlockFormat& block, const QTextCharFormat& mark);

private:
    void flushRun();
    void removeTrailingBlankParagraphs();

    QTextDocument& m_document;
    bool m_undo;
    QTextCursor m_cursor;
    QString m_runText; // gathered text in m_runFormat, not yet inserted
    QTextCharFormat m_runFormat;
};

} // namespace rtf
