#pragma once

#include <functional>

class QPainter;
class QRect;
class QWidget;

namespace ui {

// A frame painted into a top-level window's backing store ahead of its moment and sent to the window
// system at that moment. Painting may have to wait for the window system (it may still be reading the
// last frame of the same area); sending does not, so only the sending stands between the moment and
// the frame being out.
//
// Paints `area` of the shown top-level `window` with `paint` on the window's background, without
// sending it. What is painted must be what the window's own paint will show once the frame is sent.
// False where the window has nothing to paint into (not shown).
bool paintAhead(QWidget& window, const QRect& area, const std::function<void(QPainter&)>& paint);
// Sends `area` of what was painted ahead to the window system.
void sendAhead(QWidget& window, const QRect& area);

} // namespace ui
