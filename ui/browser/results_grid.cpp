#include "ui/browser/results_grid.h"

#include "ui/browser/cell_editor.h"
#include "ui/browser/results_cells.h"
#include "ui/common/application.h"

#include <algorithm>

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>

namespace ui {

namespace {

// The indicator column: the vertical header, painted with the mark of the current row and no text.
class IndicatorHeader : public QHeaderView
{
public:
    explicit IndicatorHeader(QWidget* parent)
        : QHeaderView(Qt::Vertical, parent)
    { }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int section) const override
    {
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.rect = rect;
        option.section = section;
        painter->save(); // the style leaves a clip behind
        style()->drawControl(QStyle::CE_Header, &option, painter, this);
        painter->restore();
        const QPixmap mark = model()->headerData(section, Qt::Vertical, Qt::DecorationRole).value<QPixmap>();
        if (!mark.isNull()) {
            painter->drawPixmap(rect.center() - QPoint(mark.width() / 2 - 1, mark.height() / 2 - 1), mark);
        }
    }
};

constexpr int kIndicatorWidth = 12;

} // namespace

ResultsGrid::ResultsGrid(storage::Dataset& table, QWidget* parent)
    : QTableView(parent)
    , m_table(table)
    , m_model(new ResultsModel(table, this))
    , m_delegate(new CellDelegate(*this))
{
    setObjectName(QStringLiteral("DBGrid1"));
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
    // The grid keeps the system's colours on the blue data window: its window colour around the rows.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QApplication::palette().color(QPalette::Window));
    setPalette(colours);
    m_rowHeight = fontMetrics().height() + 4;
    setVerticalHeader(new IndicatorHeader(this));
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(m_rowHeight);
    verticalHeader()->setMinimumSectionSize(m_rowHeight);
    verticalHeader()->setFixedWidth(kIndicatorWidth);
    verticalHeader()->setSectionsClickable(false);
    horizontalHeader()->setFixedHeight(m_rowHeight + 1);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    QPalette titles = horizontalHeader()->palette();
    titles.setColor(QPalette::ButtonText, palette().color(QPalette::WindowText));
    horizontalHeader()->setPalette(titles);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setShowGrid(true);
    setWordWrap(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(true); // Tab and Shift+Tab move between the cells
    setFocusPolicy(Qt::StrongFocus);
    setItemDelegate(m_delegate);
    setModel(m_model);

    connect(m_model, &ResultsModel::modelReset, this, &ResultsGrid::applyColumnWidths);
    connect(m_model, &ResultsModel::refreshed, this, &ResultsGrid::syncWithModel);
    connect(m_model, &ResultsModel::readFailed, this, [this](const QString& message) {
        // The model reads inside the table's own operations; the box waits until they are done.
        QMetaObject::invokeMethod(
            this, [this, message] { Application::showError(this, message); }, Qt::QueuedConnection);
    });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        const auto inside = [this](QWidget* w) { return w && (w == this || isAncestorOf(w)); };
        // Only a move of the focus to another control of this window leaves the grid; a message box
        // or another window taking over does not.
        if (inside(old) && now && !inside(now) && now->window() == window()) {
            focusLeft();
        }
    });
    applyColumnWidths();
    m_model->setWindowSize(visibleRowCount());
    syncWithModel();
}

ResultsGrid::~ResultsGrid() = default;

int ResultsGrid::visibleRowCount() const
{
    int room = height() - 2 * frameWidth() - horizontalHeader()->height();
    if (m_model->columnCount() > 0) {
        room -= horizontalScrollBar()->sizeHint().height();
    }
    return std::max(1, room / m_rowHeight);
}

QLineEdit* ResultsGrid::cellEditor() const
{
    // The view hides an editor it lets go of (a reset, removed rows) without telling; such an editor
    // is as good as closed.
    return m_editor && !m_editor->isHidden() ? m_editor.data() : nullptr;
}

void ResultsGrid::applyColumnWidths()
{
    const QFontMetrics metrics(font());
    for (int column = 0; column < m_model->columnCount(); ++column) {
        setColumnWidth(column, ui::columnWidth(metrics, m_model->field(column)));
    }
}

void ResultsGrid::syncWithModel()
{
    const auto state = m_table.state();
    const bool settled = state == storage::DatasetState::Browse
        && (m_syncedState == storage::DatasetState::Edit || m_syncedState == storage::DatasetState::Insert);
    m_syncedState = state;
    const int row = m_model->currentRow();
    if (m_model->columnCount() == 0 || row < 0) {
        dropEditorText();
        selectionModel()->clear();
        return;
    }
    m_column = std::clamp(m_column, 0, m_model->columnCount() - 1);
    const QModelIndex current = m_model->index(row, m_column);
    // The editor belongs to one cell of one record while it is being changed: when the cell or the
    // record changes, or the row was written or cancelled, it closes.
    if (cellEditor() && (currentIndex() != current || m_model->recordAt(row) != m_editorRecord || settled)) {
        dropEditorText();
    }
    selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect);
    scrollTo(current);
    verticalHeader()->viewport()->update();
}

void ResultsGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    m_model->setWindowSize(visibleRowCount());
}

void ResultsGrid::editorCreated(QLineEdit* editor, int column)
{
    m_editor = editor;
    m_editorColumn = column;
    m_editorRecord = m_model->recordAt(m_model->currentRow());
    m_editorDirty = false;
    connect(editor, &QLineEdit::textEdited, this, [this] {
        guarded(this, [&] {
            const bool first = !m_editorDirty;
            m_editorDirty = true;
            // The first change puts the row into edit state.
            if (first && m_table.state() == storage::DatasetState::Browse) {
                m_table.edit();
            }
        });
    });
}

void ResultsGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    if (editor == m_editor) {
        m_editor = nullptr;
        m_editorDirty = false;
    }
}

bool ResultsGrid::takeOverEditorText()
{
    if (!cellEditor() || !m_editorDirty) {
        return true;
    }
    bool stored = false;
    guarded(this, [&] {
        m_model->storeText(m_editorColumn, m_editor->text());
        stored = true;
    });
    if (stored) {
        m_editorDirty = false;
    }
    return stored;
}

void ResultsGrid::dropEditorText()
{
    if (cellEditor()) {
        closeEditor(m_editor, QAbstractItemDelegate::NoHint);
    }
    m_editor = nullptr;
    m_editorDirty = false;
}

bool ResultsGrid::leaveCell()
{
    if (!takeOverEditorText()) {
        return false;
    }
    dropEditorText();
    return true;
}

bool ResultsGrid::newRowUnchanged() const
{
    return m_table.state() == storage::DatasetState::Insert && !m_table.isModified()
        && !(cellEditor() && m_editorDirty);
}

void ResultsGrid::openEditor(const QString* text)
{
    const QModelIndex current = m_model->index(m_model->currentRow(), m_column);
    if (!current.isValid() || !m_table.canModify()) {
        return;
    }
    if (!cellEditor()) {
        selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect);
        edit(current, QAbstractItemView::AllEditTriggers, nullptr);
        if (!cellEditor()) {
            return;
        }
        m_editor->setText(m_model->currentText(m_column));
        m_editor->selectAll();
    }
    if (text) {
        m_editor->setText(*text);
        m_editorDirty = true;
    }
    m_editor->setFocus(Qt::OtherFocusReason);
}

void ResultsGrid::settleRow()
{
    const auto state = m_table.state();
    if (state == storage::DatasetState::Edit || state == storage::DatasetState::Insert) {
        m_table.isModified() ? m_table.post() : m_table.cancel();
    }
}

void ResultsGrid::clickCell(const QModelIndex& index)
{
    if (!leaveCell()) {
        return;
    }
    const std::uint32_t record = m_model->recordAt(index.row());
    m_column = index.column();
    if (index.row() != m_model->currentRow()) {
        // The row being left is written (or dropped) first; then the clicked record itself becomes
        // current, wherever other stations' deletions have moved it in the window.
        settleRow();
        if (record != 0) {
            m_table.goToRecord(record);
        }
    }
    syncWithModel();
}

void ResultsGrid::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !index.isValid() || !m_table.isOpen()) {
        return;
    }
    guarded(this, [&] { clickCell(index); });
}

void ResultsGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void ResultsGrid::mouseMoveEvent(QMouseEvent*) { }

void ResultsGrid::mouseReleaseEvent(QMouseEvent*) { }

void ResultsGrid::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0 && m_table.isOpen()) {
        guarded(this, [&] { moveRows(-steps); });
    }
    event->accept();
}

void ResultsGrid::focusLeft()
{
    guarded(this, [&] {
        if (!m_table.isOpen()) {
            return;
        }
        if (newRowUnchanged()) {
            dropEditorText();
            m_table.cancel();
        } else if (takeOverEditorText()) {
            dropEditorText(); // the row keeps its state until it is written or cancelled
        }
    });
}

} // namespace ui
