#include "rtf/document_builder.h"

#include <utility>

#include <QTextCursor>
#include <QTextDocument>

namespace rtf {

void DocumentBuilder::appendText(const QString& text, const QTextCharFormat& format)
{
    if (text.isEmpty()) {
        return;
    }
    // Runs in one format are joined, so that a document written a character at a time ("\'e1", "\u225")
    // still becomes a handful of fragments.
    if (!m_open.runs.empty() && m_open.runs.back().format == format) {
        m_open.runs.back().text += text;
        return;
    }
    m_open.runs.push_back(Run {text, format});
}

void DocumentBuilder::endParagraph(const QTextBlockFormat& block, const QTextCharFormat& mark)
{
    m_open.block = block;
    m_open.mark = mark;
    m_done.push_back(std::move(m_open));
    m_open = Paragraph {};
}

bool DocumentBuilder::isBlank(const Paragraph& paragraph)
{
    for (const Run& run : paragraph.runs) {
        for (const QChar c : run.text) {
            if (!c.isSpace()) {
                return false;
            }
        }
    }
    return true;
}

void DocumentBuilder::writeTo(QTextDocument& document, const QTextBlockFormat& block, const QTextCharFormat& mark)
{
    endParagraph(block, mark);
    while (!m_done.empty() && isBlank(m_done.back())) {
        m_done.pop_back();
    }

    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    document.clear();
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (std::size_t i = 0; i < m_done.size(); ++i) {
        const Paragraph& paragraph = m_done[i];
        if (i == 0) {
            cursor.setBlockFormat(paragraph.block);
            cursor.setBlockCharFormat(paragraph.mark);
        } else {
            cursor.insertBlock(paragraph.block, paragraph.mark);
        }
        for (const Run& run : paragraph.runs) {
            cursor.insertText(run.text, run.format);
        }
    }
    cursor.endEditBlock();
    document.setUndoRedoEnabled(undo);
    m_done.clear();
}

} // namespace rtf
