#include "ui/browser/cell_editor.h"

#include "ui/browser/results_cells.h"
#include "ui/browser/results_grid.h"
#include "ui/browser/results_model.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

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

void CellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QString text = cell.text;
    cell.text.clear();
    const QStyle* style = cell.widget ? cell.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, cell.widget);
    const bool selected = cell.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = cell.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    painter->save();
    painter->setClipRect(cell.rect);
    painter->setPen(cell.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(cell.rect.adjusted(2, 0, -2, 0), static_cast<int>(cell.displayAlignment) | Qt::TextSingleLine,
                      text);
    painter->restore();
}

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
