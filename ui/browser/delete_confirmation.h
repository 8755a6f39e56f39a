#pragma once

class QWidget;

namespace ui {

// Asks whether to delete the current row, in a modal box centred on the screen: title "Confirm", a
// question-mark icon, the text "Delete record?", OK (the default button) and Cancel (also Escape and
// the box's close button). Returns true unless the answer is Cancel. While the box is open, `window`
// (the always-on-top data window; may be null) gives up its on-top position so that the box lies
// above it, and takes it back afterwards.
bool confirmRowDeletion(QWidget* window);

} // namespace ui
