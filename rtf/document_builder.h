#pragma once

#include <vector>

#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>

class QTextDocument;

// Collects the paragraphs the reader produces and writes them into a QTextDocument at the end, so that the
// document is touched only once the whole input has been read.
namespace rtf {

class DocumentBuilder
{
public:
    // Appends `text` in `format` to the open paragraph. `text` must hold no paragraph separators ('\n',
    // '\r', U+2029) nor Qt's frame markers; line separators (U+2028) and tabs are fine.
    void appendText(const QString& text, const QTextCharFormat& format);

    // True while the open paragraph has no text.
    bool paragraphIsEmpty() const { return m_open.runs.empty(); }

    // Ends the open paragraph: `block` is its format, `mark` the format of its end (which sets the height of
    // an empty paragraph).
    void endParagraph(const QTextBlockFormat& block, const QTextCharFormat& mark);

    // Replaces the content of `document` with the paragraphs, the open one included (with `block` and `mark`
    // as its formats). Blank paragraphs (no text but white space) at the end are left out, as a word
    // processor shows none there. Leaves the document's undo setting as it was and its undo stack empty.
    void writeTo(QTextDocument& document, const QTextBlockFormat& block, const QTextCharFormat& mark);

private:
    struct Run
    {
        QString text;
        QTextCharFormat format;
    };
    struct Paragraph
    {
        QTextBlockFormat block;
        QTextCharFormat mark;
        std::vector<Run> runs;
    };

    static bool isBlank(const Paragraph& paragraph);

    std::vector<Paragraph> m_done;
    Paragraph m_open;
};

} // namespace rtf
