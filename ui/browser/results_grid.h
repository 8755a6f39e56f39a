#pragma once

#include "ui/browser/results_model.h"

#include <functional>

#include <QPointer>
#include <QTableView>

class QLineEdit;

namespace ui {

class CellDelegate;

// DBGrid1: the table grid of the results browser. A title row with the field names, an indicator
// column marking the current row, lines between cells and a horizontal scroll bar; no vertical scroll
// bar, because the grid holds only the rows that fit and its vertical position follows the table's
// current row (see ResultsModel). Columns can be widened, narrowed and moved by dragging their titles,
// which changes only the display.
//
// The keys and the mouse move through the table and edit it as the examiner expects of a data grid:
// arrows, page keys, Home and End with and without Ctrl, Tab, Insert, Ctrl+Delete, F2, Enter, Escape,
// and typing, which opens the cell editor. Storing the editor's text converts it into the field's
// value; a failure is shown by the default error handler and leaves the field and the row as they
// were, with the editor still open. Nothing acts while the table is closed.
class ResultsGrid : public QTableView
{
    Q_OBJECT

public:
    // A grid over `table`, which must outlive it.
    explicit ResultsGrid(storage::Dataset& table, QWidget* parent = nullptr);
    ~ResultsGrid() override;

    ResultsModel* resultsModel() const { return m_model; }

    // Asks before Ctrl+Delete deletes the row; true to delete. Empty: delete without asking.
    void setDeleteConfirmation(std::function<bool()> confirm) { m_confirmDelete = std::move(confirm); }

    // The number of data rows that fit between the title row and the scroll bar.
    int visibleRowCount() const;
    // The field (model column) of the current cell.
    int currentColumn() const { return m_column; }

    // The open cell editor, or null.
    QLineEdit* cellEditor() const;
    // Stores the text typed into the open cell editor since it was last stored. Returns false, with the
    // error shown and the editor kept open, when the text does not convert; true otherwise.
    bool takeOverEditorText();
    // Closes the cell editor without storing its text.
    void dropEditorText();

    // For the cell editor's delegate: a new editor for `column`, and a key typed into the editor;
    // editorKey() returns true when the grid took the key.
    void editorCreated(QLineEdit* editor, int column);
    bool editorKey(QKeyEvent* event);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

protected slots:
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    bool handleKey(int key, Qt::KeyboardModifiers modifiers, const QString& text);
    bool handleCharacter(const QString& text);
    bool leaveCell();
    bool up();
    bool down();
    void moveRows(int rows);
    void setColumn(int column);
    int visualNeighbour(int step) const;
    void openEditor(const QString* text);
    void escape();
    void enter();
    void deleteRow();
    void clickCell(const QModelIndex& index);
    void settleRow();
    void focusLeft();
    void syncWithModel();
    void applyColumnWidths();
    bool newRowUnchanged() const;

    storage::Dataset& m_table;
    ResultsModel* m_model;
    CellDelegate* m_delegate;
    QPointer<QLineEdit> m_editor;
    int m_editorColumn = -1;
    std::uint32_t m_editorRecord = 0; // record of the row the editor was opened on, 0 for a new row
    bool m_editorDirty = false;       // text typed since the editor opened or was last stored
    bool m_forwardingKey = false;     // a key is being handed to the editor
    int m_column = 0;
    storage::DatasetState m_syncedState = storage::DatasetState::Inactive; // as of the last syncWithModel()
    int m_rowHeight = 17;
    std::function<bool()> m_confirmDelete;
};

} // namespace ui
