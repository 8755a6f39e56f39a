#pragma once

#include "ui/browser/results_model.h"

#include <QPixmap>

// The small pictures of the results browser, drawn rather than loaded so that the program needs no
// image files: the marks of the grid's indicator column and the pictures of the navigator's buttons.
namespace ui {

// The navigator's buttons, in the order they stand on the bar.
enum class NavButton { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
inline constexpr int kNavButtonCount = 10;

// The mark beside the current row: an arrow (Browse), an I-beam edit mark (Edit) or an asterisk
// (Insert), black on transparent, 8 by 9 pixels. Null for RowMark::None.
QPixmap indicatorPicture(RowMark mark);

// The picture of a navigator button, 12 by 12 pixels: black when `enabled`, otherwise greyed (grey
// with a white shadow, as disabled controls are drawn).
QPixmap navigatorPicture(NavButton button, bool enabled);

} // namespace ui
