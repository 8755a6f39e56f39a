#pragma once

#include "storage/dbf_table.h"
#include "storage/field_codec.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace storage {

// What the dataset is doing: closed, showing rows, editing the current row, or holding a new row that
// has not been written yet.
enum class DatasetState { Inactive, Browse, Edit, Insert };

// What changed, for observers that redraw.
enum class DatasetEvent {
    Opened,          // the table was opened
    Closed,          // the table was closed
    StateChanged,    // Browse / Edit / Insert changed (a post, a cancel, an edit, an insert)
    PositionChanged, // another row became current, or rows were read again
    DataChanged,     // a field of the current row was set
};

// One row of a window of visible rows (see Dataset::rowsAround()).
struct VisibleRow
{
    std::uint32_t recordNumber = 0; // 1-based record in the file; 0 for the new row not yet written
    bool current = false;           // the dataset's current row
    std::vector<FieldValue> values; // one per field, in field order
};

// A row the dataset wrote to its table, for whoever keeps a record of the changes made through it.
struct RowChange
{
    enum class Kind {
        Appended,  // a new row was written behind the last one
        Rewritten, // an edited row was written back in its place
        Deleted,   // a row was marked deleted
    };
    Kind kind = Kind::Appended;
    std::uint32_t record = 0; // 1-based record number in the file
    RowBuffer before;         // Rewritten: the record as read from the file when the edit began
    RowBuffer after;          // Appended, Rewritten: the record as written; Deleted: empty
};

// Called once a change is in the file; must not throw (the change is done, whatever the observer's fate).
using ChangeObserver = std::function<void(const RowChange&)>;

// The directory of a table as given (`directory`) turned into a full path ending with the separator:
// a relative directory (an empty one included) is taken relative to `programDir`; "." and ".." are
// resolved by name and the letter case is kept, since file names are case-sensitive here.
std::string resolveTableDirectory(const std::string& directory, const std::string& programDir);

// One table seen as a sequence of visible rows with a current row, for the test window, the results
// browser and the storing of results, which all work on the same object.
//
// Rows marked deleted are never shown. Navigation and rowsAround() read only the records they pass,
// so the size of the table does not matter to them. A row left in Edit or Insert is settled by the
// next operation that needs browsing (navigation, insert, append, edit of another row, delete,
// refresh): written when it was modified, cancelled when not. Closing discards it unwritten.
//
// Every change of open status, state or position is reported to the listeners. Errors are thrown as
// TableError (FileError, FieldValueError, StateError); the dataset then keeps its state, so a failed
// post leaves the row pending. Single-threaded.
class Dataset
{
public:
    using Listener = std::function<void(DatasetEvent)>;

    // A closed dataset named `name` ("Table1"), whose name prefixes its state errors. The table is
    // `tableName` in the program directory until setDirectory() says otherwise; without one, setTableName()
    // names it before it is opened.
    explicit Dataset(std::string name = "Table1", std::string tableName = {});
    // Closes the table (storing its header); a pending row is discarded. Errors are swallowed here;
    // call close() first to see them.
    ~Dataset();
    Dataset(const Dataset&) = delete;
    Dataset& operator=(const Dataset&) = delete;

    const std::string& name() const { return m_name; }

    // The observer told of every row this dataset writes, deletes or appends; empty for none. Allowed any time.
    void setChangeObserver(ChangeObserver observer) { m_changeObserver = std::move(observer); }
    const ChangeObserver& changeObserver() const { return m_changeObserver; }

    // Settings, allowed only while closed (else StateError "<name>: Cannot perform this operation on
    // an open dataset"). The directory follows resolveTableDirectory() against `programDir`.
    void setDirectory(const std::string& directory, const std::string& programDir = base::programDirectory());
    const std::string& directory() const { return m_directory; }
    void setTableName(const std::string& tableName);
    std::string path() const { return m_directory + m_tableName; }
    // The fields a missing table is created with at open().
    void setFieldDefsForCreate(std::vector<TableFieldDef> fields);
    // Which existing tables open() accepts (see FieldCheck); empty accepts any. Takes effect at the next open.
    void setFieldCheck(FieldCheck check);
    void setReadOnly(bool readOnly);

    // Where header notices go (a modal box in the program) and where header dates come from.
    void setNoticeHandler(NoticeSink sink);
    const NoticeSink& noticeHandler() const { return m_notice; }
    void setDateSource(DateSource today);

    // Opens the table and makes the first visible row current. A missing file is created from the
    // creation fields when there are some and the dataset is not read-only; otherwise it fails with
    // "Open: Table file not found : <path>". No effect when already open. Throws TableError as OpenTableFile() does.
    void open();
    // Discards a pending row, stores the header of a writable table and closes it. No effect when
    // closed. The dataset is closed afterwards even when the header store throws FileError.
    void close();
    bool isOpen() const { return m_table != nullptr; }
    // True while open when path() no longer names the file that is open: it was removed, renamed or
    // replaced since the open, so rows written now would not reach the table under that name.
    bool fileReplaced() const;
    // Writes the empty table over path() (CreateTableFile()). Only while closed.
    void createTable();

    DatasetState state() const { return m_state; }
    // At the beginning: after first(), or a prior() or moveBy() that could not move. Both bof() and
    // eof() hold for an empty table.
    bool bof() const { return m_bof; }
    // At the end: after last(), or a next() or moveBy() that could not move.
    bool eof() const { return m_eof; }
    // Open writable.
    bool canModify() const;
    // No visible row (and no new row being inserted).
    bool isEmpty() const { return m_state != DatasetState::Insert && m_current == 0; }
    // Fields of the open table, as read from its file; empty while closed.
    const std::vector<TableFieldDef>& fields() const;
    // Index of the field named `fieldName`, or nullopt.
    std::optional<std::size_t> fieldIndex(const std::string& fieldName) const;
    // Record number of the current row; 0 for an empty table and for a new row.
    std::uint32_t recordNumber() const { return m_state == DatasetState::Insert ? 0 : m_current; }
    // Records in the file, deleted ones included; 0 while closed.
    std::uint32_t rowCount() const;

    // Values of the current row (of the row being edited or inserted, with its changes). Null for
    // every field of an empty table. Throws StateError while closed.
    FieldValue value(std::size_t field) const;
    std::vector<FieldValue> values() const;
    // Sets a field of the current row: Browse turns into Edit first (an empty table starts a new row).
    // Throws FieldValueError (range, number, width) with the field unchanged and the row still in Edit
    // or Insert, and StateError when the dataset cannot be modified.
    void setValue(std::size_t field, const FieldValue& value);
    // A field of the row being edited or inserted was set since the row entered that state.
    bool isModified() const { return m_modified; }

    // Navigation over visible rows. moveBy() returns how many rows it really moved (negative backwards).
    void first();
    void last();
    void next();
    void prior();
    int moveBy(int rows);
    // Makes record `record` (as a grid showed it) current, settling a pending row first. Moving by a
    // count of rows would land on another row when other stations deleted rows in between since the
    // grid was drawn. When the record itself is no longer live, the nearest live row becomes current
    // and StateError "<name>: The row was deleted by another user" is thrown.
    void goToRecord(std::uint32_t record);

    // Starts a new row shown at the current position; post() writes it behind the last row of the
    // file, where it is current from then on.
    void insert();
    // Starts a new row shown at the end.
    void append();
    // Puts the current row into Edit, read again from the file. On an empty table starts a new row.
    void edit();
    // Writes the row being edited (in its place) or inserted (behind the last row). No effect while
    // browsing. Throws FileError with the row still pending. An edited row that another station has
    // deleted meanwhile is not written back: the edit is dropped, the nearest live row becomes current
    // and StateError "<name>: The row was deleted by another user" is thrown.
    void post();
    // Drops the changes of the row being edited, or the new row. No effect while browsing.
    void cancel();
    // Marks the current row deleted in the file, dropping its edit if it is being edited; the next
    // visible row becomes current (or the one before, when it was the last). A new row is just dropped.
    // Throws StateError on an empty table. Only the row shown as current is ever deleted: when another
    // station has deleted it already, nothing is written, the nearest live row becomes current and
    // StateError "<name>: The row was deleted by another user" is thrown.
    void deleteRow();
    // Reads the table again (row count and current row), keeping the position where the row still
    // shows. Rows other stations appended become visible.
    void refresh();
    // Returns once every row written is on the storage device. Throws FileError.
    void sync();

    // The visible rows from the current row moved by `offset` rows (clamped at the beginning and the
    // end), at most `maxCount` of them, with a new row in Insert shown at its place. Reads only the
    // records it passes. Throws StateError while closed, FileError.
    std::vector<VisibleRow> rowsAround(int offset, std::size_t maxCount);

    // Observers. addListener() returns an id for removeListener().
    int addListener(Listener listener);
    void removeListener(int id);

private:
    // A position in the sequence of visible rows plus a new row in Insert.
    struct Position
    {
        std::uint32_t record = 0;
        bool pending = false;
    };

    void requireOpen() const;
    void requireClosed() const;
    void requireModifiable() const;
    void settle();
    void startNewRow(bool atEnd);
    bool stepCurrent(int direction);
    void placeNear(std::uint32_t record);
    std::optional<Position> step(const Position& from, int direction);
    std::vector<FieldValue> decodeAll(const RowBuffer& row) const;
    void notify(DatasetEvent event);
    void reportChange(RowChange::Kind kind, std::uint32_t record, const RowBuffer& after);
    TableOptions options() const;

    std::string m_name;
    std::string m_tableName;
    std::string m_directory;
    std::vector<TableFieldDef> m_createFields;
    FieldCheck m_fieldCheck;
    bool m_readOnly = false;
    NoticeSink m_notice;
    DateSource m_today;

    std::shared_ptr<TableFile> m_table;
    DatasetState m_state = DatasetState::Inactive;
    std::uint32_t m_current = 0;       // current visible record, 0 when none
    std::uint32_t m_insertBefore = 0;  // Insert: the row the new row is shown before; 0 shows it at the end
    RowBuffer m_row;                   // the current row, or the row being edited or inserted
    RowBuffer m_original;              // Edit: the row as read from the file when the edit began
    RowBuffer m_scratch;               // records read while searching
    std::uint32_t m_scratchRecord = 0; // record held in m_scratch, 0 when unknown
    bool m_bof = true;
    bool m_eof = true;
    bool m_modified = false;

    ChangeObserver m_changeObserver;
    std::vector<std::pair<int, Listener>> m_listeners;
    int m_nextListenerId = 1;
};

} // namespace storage
