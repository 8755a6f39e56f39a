#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>

namespace report::gui {

// Draws on a page in millimetres from the paper's top-left corner, whatever the device's resolution:
// a PDF writer, a printer or the print preview. Lines and text stay vector drawing.
class PageCanvas
{
public:
    // `paper` is the whole sheet in device units.
    PageCanvas(QPainter& painter, const QRectF& paper);

    QPainter& painter() { return m_painter; }
    double widthMm() const { return m_widthMm; }
    double heightMm() const { return m_heightMm; }

    // Device units of `mm` millimetres, and points and rectangles given in millimetres.
    double mm(double mm) const { return mm * m_unit; }
    QPointF at(double x, double y) const { return {m_paper.left() + x * m_unit, m_paper.top() + y * m_unit}; }
    QRectF box(double x, double y, double width, double height) const
    {
        return {at(x, y), QSizeF(width * m_unit, height * m_unit)};
    }

    // Selects the protocol's font at `points` (DejaVu Sans, the font every station has).
    void setFont(double points, bool bold = false, bool italic = false);
    // Pen of `widthMm` in `color`, solid or dashed.
    void setPen(const QColor& color, double widthMm, Qt::PenStyle style = Qt::SolidLine);

    // Text in the box given in millimetres, aligned by `flags` (Qt::AlignmentFlag, Qt::TextWordWrap).
    void text(double x, double y, double width, double height, int flags, const QString& text);
    // One line of `text` in the box, as text(), that never leaves it: in a smaller size (down to
    // `minPoints`) when it is too wide in the current font, else `shorter` (a shorter form of the same
    // value) in the same way, else cut with "…". The current font is left as it was.
    void fittedText(double x, double y, double width, double height, int flags, const QString& text,
                    const QString& shorter = {}, double minPoints = 5.0);
    // Height in millimetres of `text` wrapped at `width` mm in the current font.
    double wrappedHeight(double width, const QString& text) const;
    // Width in millimetres of `text` in the current font.
    double textWidth(const QString& text) const;
    void line(double x1, double y1, double x2, double y2);

private:
    QPainter& m_painter;
    QRectF m_paper;
    double m_unit;
    double m_widthMm;
    double m_heightMm;
};

} // namespace report::gui
