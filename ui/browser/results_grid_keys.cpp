#include "ui/browser/results_cells.h"
#include "ui/browser/results_grid.h"
#include "ui/common/application.h"

#include <algorithm>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>

// The keys of the results grid: moving through rows and columns, starting, storing and ending the
// editing of a cell, inserting and deleting rows.
namespace ui {

namespace {

// Keys that act on the grid even while the cell editor is open. The others (the caret keys, Backspace,
// Delete, characters) edit the editor's text.
bool isGridKey(const QKeyEvent* event)
{
    const int key = event->key();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown
        || key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return || key == Qt::Key_Enter
        || key == Qt::Key_Escape || key == Qt::Key_F2 || (key == Qt::Key_Insert && event->modifiers() == Qt::NoModifier)
        || (ctrl && (key == Qt::Key_Delete || key == Qt::Key_Home || key == Qt::Key_End));
}

} // namespace

void ResultsGrid::keyPressEvent(QKeyEvent* event)
{
    if (cellEditor() && !isGridKey(event)) {
        // A key that reached the grid while its editor is open (typed ahead of the focus) is text. One the
        // editor does not take (Shift, Ctrl) comes back to its parent, the grid: it ends here, instead of
        // going round until the stack overflows.
        if (m_forwardingKey) {
            event->ignore();
            return;
        }
        m_forwardingKey = true;
        QCoreApplication::sendEvent(m_editor, event);
        m_forwardingKey = false;
        return;
    }
    bool handled = false;
    if (m_table.isOpen()) {
        guarded(this, [&] { handled = handleKey(event->key(), event->modifiers(), event->text()); });
    }
    event->setAccepted(handled);
}

bool ResultsGrid::editorKey(QKeyEvent* event)
{
    if (!isGridKey(event)) {
        return false;
    }
    keyPressEvent(event);
    return true;
}

bool ResultsGrid::handleKey(int key, Qt::KeyboardModifiers modifiers, const QString& text)
{
    const bool ctrl = modifiers & Qt::ControlModifier;
    const int lastRow = m_model->rowCount() - 1;
    switch (key) {
    case Qt::Key_Up:
        if (ctrl) {
            moveRows(-m_model->currentRow());
        } else {
            up();
        }
        return true;
    case Qt::Key_Down:
        if (ctrl) {
            moveRows(lastRow - m_model->currentRow());
        } else {
            down();
        }
        return true;
    case Qt::Key_PageUp:
        moveRows(ctrl ? -m_model->currentRow() : -visibleRowCount());
        return true;
    case Qt::Key_PageDown:
        moveRows(ctrl ? lastRow - m_model->currentRow() : visibleRowCount());
        return true;
    case Qt::Key_Left:
        setColumn(ctrl ? visualNeighbour(-1000) : visualNeighbour(-1));
        return true;
    case Qt::Key_Right:
        setColumn(ctrl ? visualNeighbour(1000) : visualNeighbour(1));
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (ctrl) {
            if (leaveCell()) {
                key == Qt::Key_Home ? m_table.first() : m_table.last();
            }
        } else {
            setColumn(visualNeighbour(key == Qt::Key_Home ? -1000 : 1000));
        }
        return true;
    case Qt::Key_Tab:
        if (visualNeighbour(1) == m_column) {
            if (down()) {
                setColumn(visualNeighbour(-1000));
            }
        } else {
            setColumn(visualNeighbour(1));
        }
        return true;
    case Qt::Key_Backtab:
        if (visualNeighbour(-1) != m_column) {
            setColumn(visualNeighbour(-1));
        } else if (up()) {
            setColumn(visualNeighbour(1000));
        }
        return true;
    case Qt::Key_Insert:
        if (m_table.canModify() && leaveCell()) {
            m_table.insert();
        }
        return true;
    case Qt::Key_Delete:
        if (ctrl) {
            deleteRow();
            return true;
        }
        return false;
    case Qt::Key_F2:
        openEditor(nullptr);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        enter();
        return true;
    case Qt::Key_Escape:
        escape();
        return true;
    default:
        break;
    }
    if (ctrl || (modifiers & Qt::AltModifier)) {
        return false;
    }
    return handleCharacter(text);
}

bool ResultsGrid::handleCharacter(const QString& text)
{
    if (text.size() != 1 || !text.at(0).isPrint() || cellEditor()) {
        return false;
    }
    if (!m_table.canModify() || m_model->columnCount() == 0) {
        return true;
    }
    if (!acceptsCharacter(m_model->field(m_column), text.at(0))) {
        QApplication::beep();
        return true;
    }
    // Typing puts the row into edit state (on an empty table it starts a new row) and opens the
    // editor with the character.
    if (m_table.state() == storage::DatasetState::Browse) {
        m_table.edit();
    }
    openEditor(&text);
    return true;
}

bool ResultsGrid::up()
{
    if (newRowUnchanged()) {
        dropEditorText();
        m_table.cancel(); // Up on an untouched new row drops it
        return true;
    }
    if (!leaveCell()) {
        return false;
    }
    return m_table.moveBy(-1) != 0; // false on the first row, where Shift+Tab keeps its column
}

bool ResultsGrid::down()
{
    if (newRowUnchanged()) {
        if (m_table.eof()) {
            return false; // the new row at the end stays as it is
        }
        dropEditorText();
        m_table.cancel();
        return true;
    }
    if (!leaveCell()) {
        return false;
    }
    // On the last row Down appends a new row instead.
    if (m_table.moveBy(1) == 0 && m_table.canModify()) {
        m_table.append();
    }
    return true;
}

void ResultsGrid::moveRows(int rows)
{
    if (m_model->currentRow() >= 0 && leaveCell()) {
        m_table.moveBy(rows);
    }
}

int ResultsGrid::visualNeighbour(int step) const
{
    const int count = m_model->columnCount();
    if (count == 0) {
        return 0;
    }
    const int visual = std::clamp(horizontalHeader()->visualIndex(m_column) + step, 0, count - 1);
    return horizontalHeader()->logicalIndex(visual);
}

void ResultsGrid::setColumn(int column)
{
    if (column == m_column || !leaveCell()) {
        return;
    }
    m_column = column;
    syncWithModel();
}

void ResultsGrid::enter()
{
    if (!cellEditor()) {
        openEditor(nullptr);
    } else if (takeOverEditorText()) {
        dropEditorText();
    }
}

void ResultsGrid::escape()
{
    if (cellEditor() && m_editorDirty) {
        m_editorDirty = false;
        dropEditorText(); // the cell shows the field's value again
        return;
    }
    dropEditorText();
    m_table.cancel();
}

void ResultsGrid::deleteRow()
{
    if (!m_table.canModify() || m_table.isEmpty()) {
        return;
    }
    if (!m_confirmDelete || m_confirmDelete()) {
        dropEditorText();
        m_table.deleteRow();
    }
}

} // namespace ui
