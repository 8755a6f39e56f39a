#pragma once

#include "storage/dataset.h"

#include <cstdint>
#include <vector>

#include <QAbstractTableModel>

namespace ui {

// What the indicator column shows beside a row: the current row gets an arrow while browsing, an edit
// mark while it is being edited and an insert mark while it is a new row not written yet.
enum class RowMark { None, Browse, Edit, Insert };

// The rows the results grid shows: a window of as many visible rows of the table as the grid has room
// for, around the table's current row, in file order. Only those rows are read, never the whole file,
// so the size of the table does not matter. One column per field, titled with the field's name.
//
// The model follows the table: every change the table reports (opened, closed, state, position, a
// field set) reads the window again. The window keeps its top row where it can, so that moving within
// the visible rows moves the indicator, not the rows; a current row that left the window brings it
// along (at the bottom when it lies further on, at the top when before).
class ResultsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // headerData(row, Qt::Vertical, kMarkRole): the RowMark of that row, as an int.
    static constexpr int kMarkRole = Qt::UserRole + 1;
    // headerData(row, Qt::Vertical, kRecordRole): the row's record number in the file (0 for a new row).
    static constexpr int kRecordRole = Qt::UserRole + 2;

    // A model over `table`, which must outlive it. Shows the table's rows at once if it is open.
    explicit ResultsModel(storage::Dataset& table, QObject* parent = nullptr);
    ~ResultsModel() override;

    storage::Dataset& table() const { return m_table; }

    // How many rows the window holds (the rows the grid has room for), at least 1.
    void setWindowSize(int rows);
    int windowSize() const { return m_windowSize; }

    // Row of the window that is the table's current row; -1 when none is shown (closed or empty).
    int currentRow() const { return m_currentRow; }
    // Record number of a row of the window, 0 for the new row not written yet.
    std::uint32_t recordAt(int row) const;
    // The row of the window showing record `record` (not the new row), or -1.
    int rowOfRecord(std::uint32_t record) const;
    // The mark beside a row of the window.
    RowMark markAt(int row) const;
    // The field shown in `column`. Precondition: 0 <= column < columnCount().
    const storage::TableFieldDef& field(int column) const;

    // The text of the current row's field in `column`, as a cell shows it.
    QString currentText(int column) const;
    // Stores the text of a cell editor into the field in `column` of the current row (cellValue()
    // rules; a browsing row goes into Edit first). Throws storage::TableError with the message for the
    // examiner; the field then keeps its value and the row stays in Edit or Insert.
    void storeText(int column, const QString& text);

    // Reads the window again around the current row. A read error empties the window and is reported
    // through readFailed(), never thrown: the model runs inside the table's own operations.
    void refresh();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // EditRole on the current row: storeText(); false (and nothing changed) when storing fails.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    // The window was read again; the current row may have moved.
    void refreshed();
    // Reading the window failed with `message`.
    void readFailed(const QString& message);

private:
    std::vector<storage::VisibleRow> pickWindow();
    bool currentLiesAfterWindow() const;
    void applyRows(std::vector<storage::VisibleRow> rows);

    storage::Dataset& m_table;
    int m_listener = 0;
    int m_windowSize = 1;
    std::vector<storage::TableFieldDef> m_fields;
    std::vector<storage::VisibleRow> m_rows;
    int m_currentRow = -1;
};

} // namespace ui
