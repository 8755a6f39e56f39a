#include "report/gui/page_canvas.h"

#include <QFontMetricsF>
#include <QPaintDevice>

namespace report::gui {

PageCanvas::PageCanvas(QPainter& painter, const QRectF& paper)
    : m_painter(painter)
    , m_paper(paper)
    , m_unit(painter.device()->logicalDpiX() / 25.4)
    , m_widthMm(paper.width() / m_unit)
    , m_heightMm(paper.height() / m_unit)
{
    m_painter.setRenderHint(QPainter::Antialiasing);
    m_painter.setRenderHint(QPainter::TextAntialiasing);
}

void PageCanvas::setFont(double points, bool bold, bool italic)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    // No ligatures: "fi" in "Žofie" stays two letters, so the PDF's text can be searched and copied.
    font.setStyleStrategy(QFont::PreferNoShaping);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    m_painter.setFont(font);
}

void PageCanvas::setPen(const QColor& color, double widthMm, Qt::PenStyle style)
{
    QPen pen(color, mm(widthMm), style);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::RoundJoin);
    m_painter.setPen(pen);
}

void PageCanvas::text(double x, double y, double width, double height, int flags, const QString& text)
{
    m_painter.drawText(box(x, y, width, height), flags, text);
}

void PageCanvas::fittedText(double x, double y, double width, double height, int flags, const QString& text,
                            const QString& shorter, double minPoints)
{
    const QFont original = m_painter.font();
    QFont font = original;
    for (const QString& candidate : {text, shorter}) {
        if (candidate.isEmpty()) {
            continue;
        }
        for (double points = original.pointSizeF(); points >= minPoints; points -= 0.5) {
            font.setPointSizeF(points);
            m_painter.setFont(font);
            if (textWidth(candidate) <= width) {
                this->text(x, y, width, height, flags, candidate);
                m_painter.setFont(original);
                return;
            }
        }
    }
    const QString last = shorter.isEmpty() ? text : shorter;
    const QFontMetricsF metrics(m_painter.font(), m_painter.device());
    this->text(x, y, width, height, flags, metrics.elidedText(last, Qt::ElideRight, mm(width)));
    m_painter.setFont(original);
}

double PageCanvas::wrappedHeight(double width, const QString& text) const
{
    const QFontMetricsF metrics(m_painter.font(), m_painter.device());
    const QRectF bounds = metrics.boundingRect(QRectF(0, 0, mm(width), 1e9), Qt::TextWordWrap, text);
    return bounds.height() / m_unit;
}

double PageCanvas::textWidth(const QString& text) const
{
    const QFontMetricsF metrics(m_painter.font(), m_painter.device());
    return metrics.horizontalAdvance(text) / m_unit;
}

void PageCanvas::line(double x1, double y1, double x2, double y2)
{
    m_painter.drawLine(at(x1, y1), at(x2, y2));
}

} // namespace report::gui
