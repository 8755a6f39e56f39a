#include "ui/cell_editor.h"

#include "ui/results_cells.h"
#include "ui/results_grid.h"
#include "ui/results_model.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace ui {

CellValidator::CellValidator(const storage::TableFieldDef& field, QObject* parent)
    : QValidator(parent)
    , m_field(field)
{ }

QValidator::State CellValidator::validate(QString& input, int&) const
{
    for (const QChar c : input) {
        if (!acceptsCharacter(m_field, c)) {
            return Invalid;
        }
    }
    return Acceptable;
}

CellDelegate::CellDelegate(ResultsGrid& grid)
    : QStyledItemDelegate(&grid)
    , m_grid(grid)
{ }

QWidget* CellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const storage::TableFieldDef& field = m_grid.resultsModel()->field(index.column());
    auto* editor = new QLineEdit(parent);
    editor->setObjectName(QStringLiteral("cellLineEdit"));
    editor->setFrame(false);
    if (field.kind == storage::FieldKind::Text) {
        editor->setMaxLength(field.width);
    }
    editor->setValidator(new CellValidator(field, editor));
    m_grid.editorCreated(editor, index.column());
    return editor;
}

void CellDelegate::setEditorData(QWidget*, const QModelIndex&) const { }

void CellDelegate::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const { }

bool CellDelegate::eventFilter(QObject*, QEvent* event)
{
    // Not the base filter: it would store and close the editor on Enter, Tab and focus loss by itself.
    if (event->type() == QEvent::KeyPress) {
        return m_grid.editorKey(static_cast<QKeyEvent*>(event));
    }
    return false;
}

} // namespace ui
