#include "ui/browser/results_model.h"

#include "ui/browser/browser_pictures.h"
#include "ui/browser/results_cells.h"

#include <algorithm>
#include <exception>
#include <iterator>

namespace ui {

namespace {

bool sameFields(const std::vector<storage::TableFieldDef>& a, const std::vector<storage::TableFieldDef>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.name == y.name && x.kind == y.kind && x.width == y.width;
    });
}

} // namespace

ResultsModel::ResultsModel(storage::Dataset& table, QObject* parent)
    : QAbstractTableModel(parent)
    , m_table(table)
{
    m_listener = m_table.addListener([this](storage::DatasetEvent) { refresh(); });
    refresh();
}

ResultsModel::~ResultsModel()
{
    m_table.removeListener(m_listener);
}

void ResultsModel::setWindowSize(int rows)
{
    rows = std::max(1, rows);
    if (rows != m_windowSize) {
        m_windowSize = rows;
        refresh();
    }
}

std::uint32_t ResultsModel::recordAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].recordNumber : 0;
}

int ResultsModel::rowOfRecord(std::uint32_t record) const
{
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (record != 0 && m_rows[i].recordNumber == record) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

RowMark ResultsModel::markAt(int row) const
{
    if (row < 0 || row != m_currentRow) {
        return RowMark::None;
    }
    switch (m_table.state()) {
    case storage::DatasetState::Edit:
        return RowMark::Edit;
    case storage::DatasetState::Insert:
        return RowMark::Insert;
    case storage::DatasetState::Browse:
        return RowMark::Browse;
    case storage::DatasetState::Inactive:
        break;
    }
    return RowMark::None;
}

const storage::TableFieldDef& ResultsModel::field(int column) const
{
    return m_fields.at(static_cast<std::size_t>(column));
}

QString ResultsModel::currentText(int column) const
{
    if (!m_table.isOpen() || column < 0 || column >= columnCount()) {
        return QString();
    }
    return cellText(m_table.value(static_cast<std::size_t>(column)));
}

void ResultsModel::storeText(int column, const QString& text)
{
    m_table.setValue(static_cast<std::size_t>(column), cellValue(field(column), text));
}

std::vector<storage::VisibleRow> ResultsModel::pickWindow()
{
    // Up to n - 1 rows on either side of the current row; the window is n of them.
    const int n = m_windowSize;
    std::vector<storage::VisibleRow> around = m_table.rowsAround(-(n - 1), static_cast<std::size_t>(2 * n - 1));
    const auto current = std::find_if(around.begin(), around.end(), [](const auto& row) { return row.current; });
    if (current == around.end()) {
        return {};
    }
    const int c = static_cast<int>(current - around.begin());
    const int size = static_cast<int>(around.size());
    const int lowest = std::max(0, c - n + 1); // the current row at the bottom
    int start = c;                             // the current row at the top
    const bool topWasNewRow = !m_rows.empty() && m_rows.front().recordNumber == 0;
    const auto oldTop = std::find_if(around.begin(), around.end(), [&](const auto& row) {
        return !m_rows.empty() && row.recordNumber == m_rows.front().recordNumber
            && (row.recordNumber != 0 || topWasNewRow);
    });
    if (oldTop != around.end()) {
        start = static_cast<int>(oldTop - around.begin());
    } else if (currentLiesAfterWindow()) {
        start = lowest;
    }
    start = std::clamp(start, lowest, c);
    // Near the end of the table the window fills up with the rows before it rather than stay short.
    start = std::max(lowest, std::min(start, std::max(0, size - n)));
    const int end = std::min(size, start + n);
    return {std::make_move_iterator(around.begin() + start), std::make_move_iterator(around.begin() + end)};
}

bool ResultsModel::currentLiesAfterWindow() const
{
    if (m_rows.empty()) {
        return false;
    }
    if (m_table.state() == storage::DatasetState::Insert) {
        return m_table.eof(); // a new row at the end of the table
    }
    std::uint32_t last = 0;
    for (const auto& row : m_rows) {
        last = std::max(last, row.recordNumber);
    }
    return m_table.recordNumber() > last;
}

void ResultsModel::refresh()
{
    std::vector<storage::VisibleRow> rows;
    if (m_table.isOpen()) {
        try {
            rows = pickWindow();
        } catch (const std::exception& error) {
            rows.clear();
            emit readFailed(QString::fromUtf8(error.what()));
        }
    }
    applyRows(std::move(rows));
    emit refreshed();
}

void ResultsModel::applyRows(std::vector<storage::VisibleRow> rows)
{
    const auto current = std::find_if(rows.begin(), rows.end(), [](const auto& row) { return row.current; });
    const int currentRow = current == rows.end() ? -1 : static_cast<int>(current - rows.begin());
    const std::vector<storage::TableFieldDef>& fields = m_table.fields();
    if (!sameFields(fields, m_fields)) {
        beginResetModel();
        m_fields = fields;
        m_rows = std::move(rows);
        m_currentRow = currentRow;
        endResetModel();
        return;
    }
    // Rows leave or join at the end, while the rows that stay keep their old content, and the content
    // changes separately: views (and the model tester) see a consistent model at every signal.
    const auto before = m_rows.size();
    const auto after = rows.size();
    if (after < before) {
        beginRemoveRows(QModelIndex(), static_cast<int>(after), static_cast<int>(before) - 1);
        m_rows.resize(after);
        endRemoveRows();
    }
    const auto kept = std::min(before, after);
    std::move(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(kept), m_rows.begin());
    m_currentRow = currentRow;
    if (kept > 0 && columnCount() > 0) {
        emit dataChanged(index(0, 0), index(static_cast<int>(kept) - 1, columnCount() - 1));
        emit headerDataChanged(Qt::Vertical, 0, static_cast<int>(kept) - 1);
    }
    if (after > before) {
        beginInsertRows(QModelIndex(), static_cast<int>(before), static_cast<int>(after) - 1);
        std::move(rows.begin() + static_cast<std::ptrdiff_t>(before), rows.end(), std::back_inserter(m_rows));
        endInsertRows();
    }
}

int ResultsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_fields.size());
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !checkIndex(index)) {
        return QVariant();
    }
    const auto& values = m_rows[static_cast<std::size_t>(index.row())].values;
    const auto column = static_cast<std::size_t>(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return column < values.size() ? cellText(values[column]) : QString();
    case Qt::TextAlignmentRole: {
        const bool number = isNumberField(field(index.column()));
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    default:
        return QVariant();
    }
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= columnCount()) {
            return QVariant();
        }
        if (role == Qt::DisplayRole) {
            return QString::fromStdString(field(section).name);
        }
        return QVariant();
    }
    if (section < 0 || section >= rowCount()) {
        return QVariant();
    }
    switch (role) {
    case Qt::DisplayRole:
        return QString();
    case Qt::DecorationRole: {
        const RowMark mark = markAt(section);
        return mark == RowMark::None ? QVariant() : QVariant(indicatorPicture(mark));
    }
    case kMarkRole:
        return static_cast<int>(markAt(section));
    case kRecordRole:
        return static_cast<qulonglong>(recordAt(section));
    default:
        return QVariant();
    }
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const
{
    if (!index.isValid() || !checkIndex(index)) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_table.canModify()) {
        flags |= Qt::ItemIsEditable;
    }
    return flags;
}

bool ResultsModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !checkIndex(index) || index.row() != m_currentRow) {
        return false;
    }
    try {
        storeText(index.column(), value.toString());
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

} // namespace ui
