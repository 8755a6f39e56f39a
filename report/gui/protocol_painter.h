#pragma once

#include "report/gui/protocol_content.h"

#include <QPainter>
#include <QRectF>

namespace report::gui {

// Draws the one-page A4 protocol of `content` on `painter`, whose device shows the whole sheet as
// `paper` (device units): title, the person's identity and the date, the table of the series and the
// whole block, the notes on the row, the plot per trial, the plot of earlier tests when there are
// some, the definitions and a signature line. Everything is vector drawing.
void paintProtocol(QPainter& painter, const QRectF& paper, const ProtocolContent& content);

} // namespace report::gui
