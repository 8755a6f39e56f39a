#pragma once

#include "storage/field_codec.h"

#include <QStyledItemDelegate>
#include <QValidator>

namespace ui {

class ResultsGrid;

// Lets into a cell editor only the characters its field accepts (acceptsCharacter()), typed or pasted.
class CellValidator : public QValidator
{
    Q_OBJECT

public:
    CellValidator(const storage::TableFieldDef& field, QObject* parent);
    State validate(QString& input, int& position) const override;

private:
    storage::TableFieldDef m_field;
};

// The cell editor of the results grid: a frameless line edit that takes the characters of its field
// kind and, for a text field, at most the field's width of them. The grid itself fills the editor,
// stores its text and closes it, so the delegate never writes to the model on its own; the keys that
// move through the grid or end editing are handed to the grid.
class CellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit CellDelegate(ResultsGrid& grid);

    // Draws a cell as data grids do: the text 2 pixels from the cell's edge, cut off (not shortened with
    // an ellipsis) where the column ends.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Leaves the editor's text alone: a refresh of the row must not overwrite what was typed.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    // Does nothing: the grid stores the text itself, with the error handling the examiner sees.
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    ResultsGrid& m_grid;
};

} // namespace ui
