#include "ui/browser/browser_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

namespace ui {

namespace {

constexpr int kNavSize = 12;

QPolygon triangle(int x1, int y1, int x2, int y2, int x3, int y3)
{
    return QPolygon({QPoint(x1, y1), QPoint(x2, y2), QPoint(x3, y3)});
}

// Draws the shape of `button` in `colour`, shifted by `offset` pixels right and down.
void drawNavShape(QPainter& p, NavButton button, const QColor& colour, int offset)
{
    p.save();
    p.translate(offset, offset);
    p.setPen(QPen(colour, 1));
    p.setBrush(colour);
    switch (button) {
    case NavButton::First:
        p.drawRect(2, 2, 1, 7);
        p.drawPolygon(triangle(9, 1, 9, 10, 5, 5)); // pointing left
        break;
    case NavButton::Prior:
        p.drawPolygon(triangle(8, 1, 8, 10, 3, 5));
        break;
    case NavButton::Next:
        p.drawPolygon(triangle(3, 1, 3, 10, 8, 5));
        break;
    case NavButton::Last:
        p.drawPolygon(triangle(2, 1, 2, 10, 6, 5));
        p.drawRect(8, 2, 1, 7);
        break;
    case NavButton::Insert:
        p.drawRect(5, 1, 1, 9);
        p.drawRect(1, 5, 9, 1);
        break;
    case NavButton::Delete:
        p.drawRect(1, 5, 9, 1);
        break;
    case NavButton::Edit:
        p.drawPolygon(triangle(1, 8, 10, 8, 5, 3)); // pointing up
        break;
    case NavButton::Post:
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, 2));
        p.drawPolyline(QPolygon({QPoint(1, 6), QPoint(4, 9), QPoint(10, 2)}));
        break;
    case NavButton::Cancel:
        p.setPen(QPen(colour, 2));
        p.drawLine(2, 2, 9, 9);
        p.drawLine(9, 2, 2, 9);
        break;
    case NavButton::Refresh: {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(colour, 1.5));
        p.drawArc(QRectF(1.5, 1.5, 8, 8), 90 * 16, 270 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPolygon(triangle(5, 0, 9, 2, 5, 5)); // the arrow head at the arc's open end
        break;
    }
    }
    p.restore();
}

} // namespace

QPixmap indicatorPicture(RowMark mark)
{
    if (mark == RowMark::None) {
        return QPixmap();
    }
    QPixmap picture(8, 9);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setPen(Qt::black);
    p.setBrush(Qt::black);
    switch (mark) {
    case RowMark::Browse:
        p.drawPolygon(triangle(2, 0, 2, 8, 6, 4));
        break;
    case RowMark::Edit:
        p.drawLine(4, 0, 4, 8); // an I-beam
        p.drawLine(2, 0, 6, 0);
        p.drawLine(2, 8, 6, 8);
        break;
    case RowMark::Insert:
        p.drawLine(4, 1, 4, 7); // an asterisk
        p.drawLine(1, 4, 7, 4);
        p.drawLine(2, 2, 6, 6);
        p.drawLine(6, 2, 2, 6);
        break;
    case RowMark::None:
        break;
    }
    return picture;
}

QPixmap navigatorPicture(NavButton button, bool enabled)
{
    QPixmap picture(kNavSize, kNavSize);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    if (enabled) {
        drawNavShape(p, button, Qt::black, 0);
    } else {
        drawNavShape(p, button, Qt::white, 1);
        drawNavShape(p, button, QColor(128, 128, 128), 0);
    }
    return picture;
}

} // namespace ui
