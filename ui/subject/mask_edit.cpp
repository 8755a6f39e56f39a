#include "ui/subject/mask_edit.h"

#include <QKeyEvent>

namespace ui {

MaskEdit::MaskEdit(const QString& mask, QChar dateSeparator, QWidget* parent)
    : QLineEdit(parent)
{
    const QStringList sections = mask.split(QLatin1Char(';'));
    QString positions = sections.value(0);
    if (sections.size() > 2 && !sections.at(2).isEmpty()) {
        m_blank = sections.at(2).at(0);
    }
    if (positions.startsWith(QLatin1Char('!'))) {
        m_fillFromEnd = true;
        positions.remove(0, 1);
    }
    for (const QChar c : positions) {
        if (c == QLatin1Char('9') || c == QLatin1Char('0')) {
            m_positions.push_back({true, QChar()});
        } else {
            m_positions.push_back({false, c == QLatin1Char('/') ? dateSeparator : c});
        }
    }
    setMaxLength(positionCount());
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setDragEnabled(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setMaskedText(QString());
}

QString MaskEdit::maskedText() const
{
    return m_chars;
}

void MaskEdit::setMaskedText(const QString& text)
{
    QString source = text.left(positionCount());
    if (m_fillFromEnd && source.size() < positionCount()) {
        source = QString(positionCount() - source.size(), QLatin1Char(' ')) + source;
    }
    QString chars;
    qsizetype next = 0;
    for (const Position& position : m_positions) {
        if (!position.editable) {
            if (next < source.size() && source.at(next) == position.literal) {
                ++next;
            }
            chars += position.literal;
            continue;
        }
        const QChar c = next < source.size() ? source.at(next++) : QLatin1Char(' ');
        chars += c.isDigit() && c.unicode() < 128 ? c : QLatin1Char(' ');
    }
    store(chars, 0);
}

int MaskEdit::nextEditable(int from) const
{
    for (int i = from; i < positionCount(); ++i) {
        if (m_positions[i].editable) {
            return i;
        }
    }
    return -1;
}

int MaskEdit::previousEditable(int from) const
{
    for (int i = from; i >= 0; --i) {
        if (m_positions[i].editable) {
            return i;
        }
    }
    return -1;
}

void MaskEdit::blankRange(int from, int to)
{
    QString chars = m_chars;
    for (int i = from; i < to && i < positionCount(); ++i) {
        if (m_positions[i].editable) {
            chars[i] = QLatin1Char(' ');
        }
    }
    store(chars, from);
}

void MaskEdit::store(const QString& chars, int cursor)
{
    const bool changed = chars != m_chars;
    m_chars = chars;
    QString shown = chars;
    for (int i = 0; i < positionCount(); ++i) {
        if (m_positions[i].editable && shown.at(i) == QLatin1Char(' ')) {
            shown[i] = m_blank;
        }
    }
    setText(shown);
    setCursorPosition(cursor);
    if (changed) {
        emit maskedTextChanged();
    }
}

void MaskEdit::keyPressEvent(QKeyEvent* event)
{
    const int cursor = hasSelectedText() ? selectionStart() : cursorPosition();
    const int selectionEnd = hasSelectedText() ? selectionStart() + static_cast<int>(selectedText().size()) : cursor;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        QLineEdit::keyPressEvent(event);
        return;
    default:
        break;
    }
    if (isReadOnly()) {
        event->ignore();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Backspace:
        if (hasSelectedText()) {
            blankRange(cursor, selectionEnd);
        } else if (const int at = previousEditable(cursor - 1); at >= 0) {
            blankRange(at, at + 1);
        }
        return;
    case Qt::Key_Delete:
        blankRange(cursor, hasSelectedText() ? selectionEnd : cursor + 1);
        return;
    default:
        break;
    }
    const QString typed = event->text();
    if (typed.size() == 1 && typed.at(0).isDigit() && typed.at(0).unicode() < 128) {
        const int at = nextEditable(cursor);
        if (at >= 0) {
            QString chars = m_chars;
            for (int i = cursor; i < selectionEnd; ++i) {
                if (m_positions[i].editable) {
                    chars[i] = QLatin1Char(' ');
                }
            }
            chars[at] = typed.at(0);
            const int after = nextEditable(at + 1);
            store(chars, after >= 0 ? after : positionCount());
        }
        return;
    }
    // Anything else is refused; keys without text (function keys, Enter) go on to the parent.
    if (typed.isEmpty() || !typed.at(0).isPrint()) {
        event->ignore();
    }
}

} // namespace ui
