#include "rtf/document_builder.h"

#include <algorithm>

#include <QTextBlock>
#include <QTextDocument>

namespace rtf {

namespace {

bool isBlank(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

} // namespace

DocumentBuilder::DocumentBuilder(QTextDocument& document)
    : m_document(document)
    , m_undo(document.isUndoRedoEnabled())
{
    m_document.setUndoRedoEnabled(false);
    m_document.clear();
    m_cursor = QTextCursor(&m_document);
    m_cursor.beginEditBlock();
}

void DocumentBuilder::appendText(const QString& text, const QTextCharFormat& format)
{
    if (text.isEmpty()) {
        return;
    }
    if (format != m_runFormat) {
        flushRun();
        m_runFormat = format;
    }
    m_runText += text;
}

void DocumentBuilder::endParagraph(const QTextBlockFormat& block, const QTextCharFormat& mark)
{
    flushRun();
    m_cursor.setBlockFormat(block);
    m_cursor.setBlockCharFormat(mark);
    m_cursor.insertBlock();
}

void DocumentBuilder::finish(const QTextBlockFormat& block, const QTextCharFormat& mark)
{
    flushRun();
    m_cursor.setBlockFormat(block);
    m_cursor.setBlockCharFormat(mark);
    removeTrailingBlankParagraphs();
    m_cursor.endEditBlock();
    m_document.setUndoRedoEnabled(m_undo);
}

void DocumentBuilder::flushRun()
{
    if (!m_runText.isEmpty()) {
        m_cursor.insertText(m_runText, m_runFormat);
        m_runText.clear();
    }
}

void DocumentBuilder::removeTrailingBlankParagraphs()
{
    QTextBlock kept = m_document.lastBlock();
    while (kept.isValid() && isBlank(kept.text())) {
        kept = kept.previous();
    }
    if (kept == m_document.lastBlock()) {
        return;
    }
    // Deleting from the end of the last paragraph with text keeps that paragraph's own formats.
    QTextCursor tail(&m_document);
    tail.setPosition(kept.isValid() ? kept.position() + kept.length() - 1 : 0);
    tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    tail.removeSelectedText();
}

} // namespace rtf
