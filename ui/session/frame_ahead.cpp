#include "ui/session/frame_ahead.h"

#include <QBackingStore>
#include <QPainter>
#include <QWidget>
#include <QWindow>

namespace ui {

bool paintAhead(QWidget& window, const QRect& area, const std::function<void(QPainter&)>& paint)
{
    QBackingStore* store = window.backingStore();
    if (!store || !window.windowHandle() || !window.isVisible()) {
        return false;
    }
    store->beginPaint(area);
    {
        QPainter painter(store->paintDevice());
        painter.setClipRect(area);
        painter.fillRect(area, window.palette().color(window.backgroundRole()));
        paint(painter);
    }
    store->endPaint();
    return true;
}

void sendAhead(QWidget& window, const QRect& area)
{
    window.backingStore()->flush(area, window.windowHandle());
}

} // namespace ui
