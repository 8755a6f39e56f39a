#pragma once

#include <QLineEdit>
#include <QString>
#include <QVector>

namespace ui {

// A text box with an edit mask of fixed positions, such as the birth-number parts and the date.
//
// The mask is written "<positions>;1;<blank>": in the positions "9" is a digit position that may stay
// blank, "0" a digit position, "/" stands for the date separator given to the constructor, any other
// character is a literal, and a leading "!" makes assigned texts fill the positions from the end (blank
// positions at the front). The box always reports one character per position, literals included and
// blank positions as spaces; it shows blank positions as the blank character.
//
// Only digits can be typed into digit positions; typing moves over literals; Backspace and Delete blank
// positions. Nothing else changes the text (no paste, no drops, no context menu).
class MaskEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit MaskEdit(const QString& mask, QChar dateSeparator = QLatin1Char('/'), QWidget* parent = nullptr);

    // The reported text: exactly positionCount() characters.
    QString maskedText() const;

    // Fills the positions from `text`: literal positions keep their literal (a matching character in
    // `text` is consumed), digit positions take the next character when it is a digit and become blank
    // otherwise. A text shorter than the mask leaves the remaining positions blank (at the front with
    // "!"). An empty text blanks every position.
    void setMaskedText(const QString& text);

    int positionCount() const { return static_cast<int>(m_positions.size()); }

signals:
    // The reported text changed (by typing or by setMaskedText).
    void maskedTextChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Position
    {
        bool editable;
        QChar literal; // for literal positions
    };

    int nextEditable(int from) const;
    int previousEditable(int from) const;
    void blankRange(int from, int to);
    void store(const QString& chars, int cursor);

    QVector<Position> m_positions;
    QString m_chars; // one character per position; blank digit positions hold a space
    QChar m_blank = QLatin1Char('_');
    bool m_fillFromEnd = false;
};

} // namespace ui
