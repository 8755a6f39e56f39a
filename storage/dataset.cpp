#include "storage/dataset.h"

#include "storage/dbf_format.h"
#include "storage/errors.h"
#include "text/messages.h"

#include <algorithm>
#include <filesystem>

namespace storage {

std::string resolveTableDirectory(const std::string& directory, const std::string& programDir)
{
    std::string full = base::isAbsolutePath(directory) ? directory : programDir + base::pathSeparator() + directory;
    // UTF-8 both ways: a plain path and string() would take the system's code page on Windows.
    full = std::filesystem::u8path(full).lexically_normal().u8string();
    if (full.empty() || full.back() != base::pathSeparator()) {
        full += base::pathSeparator();
    }
    return full;
}

Dataset::Dataset(std::string name, std::string tableName)
    : m_name(std::move(name))
    , m_tableName(std::move(tableName))
    , m_directory(resolveTableDirectory({}, base::programDirectory()))
{ }

Dataset::~Dataset()
{
    try {
        close();
    } catch (...) {
        // Nothing can report it any more; close() was the place to see it.
    }
}

void Dataset::requireOpen() const
{
    if (!m_table) {
        throw StateError(text::formatMessage(messages::kClosedDataset, {m_name}));
    }
}

void Dataset::requireClosed() const
{
    if (m_table) {
        throw StateError(text::formatMessage(messages::kOpenDataset, {m_name}));
    }
}

void Dataset::requireModifiable() const
{
    requireOpen();
    if (!canModify()) {
        throw StateError(text::formatMessage(messages::kReadOnlyDataset, {m_name}));
    }
}

void Dataset::setDirectory(const std::string& directory, const std::string& programDir)
{
    requireClosed();
    m_directory = resolveTableDirectory(directory, programDir);
}

void Dataset::setTableName(const std::string& tableName)
{
    requireClosed();
    m_tableName = tableName;
}

void Dataset::setFieldDefsForCreate(std::vector<TableFieldDef> fields)
{
    m_createFields = std::move(fields);
}

void Dataset::setFieldCheck(FieldCheck check)
{
    m_fieldCheck = std::move(check);
}

void Dataset::setReadOnly(bool readOnly)
{
    requireClosed();
    m_readOnly = readOnly;
}

void Dataset::setNoticeHandler(NoticeSink sink)
{
    m_notice = std::move(sink);
    if (m_table) {
        m_table->setOptions(options());
    }
}

void Dataset::setDateSource(DateSource today)
{
    m_today = std::move(today);
    if (m_table) {
        m_table->setOptions(options());
    }
}

TableOptions Dataset::options() const
{
    return TableOptions {m_notice, m_today, m_fieldCheck};
}

void Dataset::open()
{
    if (m_table) {
        return;
    }
    // Only a writable dataset that knows its fields creates a missing table; otherwise the missing
    // file is reported as such.
    const IfMissing missing = !m_readOnly && !m_createFields.empty() ? IfMissing::Create : IfMissing::Fail;
    m_table = OpenTableFile(path(), m_readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite, missing, m_createFields,
                            options());
    m_state = DatasetState::Browse;
    m_modified = false;
    m_row = m_table->newRow();
    m_scratch = m_table->newRow();
    notify(DatasetEvent::Opened);
    first();
}

void Dataset::close()
{
    if (!m_table) {
        return;
    }
    // A row still being edited or inserted is dropped, not written: closing is not a confirmation.
    m_state = DatasetState::Inactive;
    m_current = 0;
    m_modified = false;
    m_bof = m_eof = true;
    try {
        CloseTableFile(m_table);
    } catch (...) {
        notify(DatasetEvent::Closed);
        throw;
    }
    notify(DatasetEvent::Closed);
}

bool Dataset::fileReplaced() const
{
    return m_table && paged_file_registry::find(path()) != m_table;
}

void Dataset::createTable()
{
    requireClosed();
    CreateTableFile(path(), m_createFields, options());
}

bool Dataset::canModify() const
{
    return m_table && !m_readOnly && m_table->writable();
}

const std::vector<TableFieldDef>& Dataset::fields() const
{
    static const std::vector<TableFieldDef> none;
    return m_table ? m_table->fields() : none;
}

std::optional<std::size_t> Dataset::fieldIndex(const std::string& fieldName) const
{
    const auto& list = fields();
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].name == fieldName) {
            return i;
        }
    }
    return std::nullopt;
}

std::uint32_t Dataset::rowCount() const
{
    return m_table ? m_table->rowCount() : 0;
}

FieldValue Dataset::value(std::size_t field) const
{
    requireOpen();
    if (isEmpty()) {
        return FieldValue {};
    }
    return DecodeField(m_row, fields().at(field));
}

std::vector<FieldValue> Dataset::values() const
{
    requireOpen();
    return isEmpty() ? std::vector<FieldValue>(fields().size()) : decodeAll(m_row);
}

std::vector<FieldValue> Dataset::decodeAll(const RowBuffer& row) const
{
    std::vector<FieldValue> out;
    out.reserve(fields().size());
    for (const TableFieldDef& field : fields()) {
        out.push_back(DecodeField(row, field));
    }
    return out;
}

void Dataset::setValue(std::size_t field, const FieldValue& value)
{
    requireModifiable();
    if (field >= fields().size()) {
        throw TableError(text::formatMessage(messages::kFieldIndex, {static_cast<long long>(field)}));
    }
    const TableFieldDef& def = fields()[field];
    if (m_state == DatasetState::Browse) {
        edit();
    }
    EncodeField(m_row, def, checkAssignment(def, value));
    m_modified = true;
    notify(DatasetEvent::DataChanged);
}

void Dataset::settle()
{
    if (m_state == DatasetState::Edit || m_state == DatasetState::Insert) {
        if (m_modified) {
            post();
        } else {
            cancel();
        }
    }
}

void Dataset::startNewRow(bool atEnd)
{
    requireModifiable();
    settle();
    m_insertBefore = atEnd ? 0 : m_current;
    m_row = m_table->newRow();
    m_state = DatasetState::Insert;
    m_modified = false;
    m_bof = false;
    m_eof = atEnd;
    notify(DatasetEvent::StateChanged);
}

void Dataset::insert()
{
    startNewRow(false);
}

void Dataset::append()
{
    startNewRow(true);
}

void Dataset::edit()
{
    requireModifiable();
    if (m_state == DatasetState::Edit || m_state == DatasetState::Insert) {
        return;
    }
    if (m_current == 0) {
        append();
        return;
    }
    // Edit what is in the file now, not what was read when the row became current.
    m_table->dropReadAhead();
    m_table->loadRow(m_current, m_row);
    m_original = m_row;
    if (m_row.flag() != dbf::kLiveFlag) {
        // Another station deleted the row meanwhile; posting it would bring it back to life.
        placeNear(m_current);
        notify(DatasetEvent::PositionChanged);
        throw StateError(text::formatMessage(messages::kRowDeleted, {m_name}));
    }
    m_state = DatasetState::Edit;
    m_modified = false;
    notify(DatasetEvent::StateChanged);
}

void Dataset::post()
{
    requireOpen();
    if (m_state == DatasetState::Edit) {
        if (!m_table->rewriteRow(m_row, m_current)) {
            // Another station deleted the row while it was being edited; the edit goes with it.
            m_state = DatasetState::Browse;
            m_modified = false;
            placeNear(m_current);
            notify(DatasetEvent::StateChanged);
            throw StateError(text::formatMessage(messages::kRowDeleted, {m_name}));
        }
        reportChange(RowChange::Kind::Rewritten, m_current, m_row);
    } else if (m_state == DatasetState::Insert) {
        m_current = m_table->appendRow(m_row);
        m_bof = m_eof = false;
        reportChange(RowChange::Kind::Appended, m_current, m_row);
    } else {
        return;
    }
    m_state = DatasetState::Browse;
    m_modified = false;
    notify(DatasetEvent::StateChanged);
}

void Dataset::cancel()
{
    requireOpen();
    if (m_state == DatasetState::Browse) {
        return;
    }
    m_state = DatasetState::Browse;
    m_modified = false;
    // Back to the row that was current before the edit or the new row, read again from the file.
    placeNear(m_current);
    notify(DatasetEvent::StateChanged);
}

void Dataset::deleteRow()
{
    requireModifiable();
    if (m_state == DatasetState::Insert) {
        cancel();
        return;
    }
    if (m_current == 0) {
        throw StateError(text::formatMessage(messages::kEmptyDataset, {m_name}));
    }
    // The row deleted is the one shown as current, also when it is being edited. (Cancelling the edit
    // first would move to the nearest live row when another station has deleted this one, and that
    // row would be deleted instead.)
    const std::uint32_t shown = m_current;
    const bool wasEditing = m_state == DatasetState::Edit;
    m_state = DatasetState::Browse;
    m_modified = false;
    const bool deleted = m_table->markRowDeleted(shown);
    if (deleted) {
        reportChange(RowChange::Kind::Deleted, shown, RowBuffer());
    }
    placeNear(shown);
    if (wasEditing) {
        notify(DatasetEvent::StateChanged);
    }
    notify(DatasetEvent::PositionChanged);
    if (!deleted) {
        throw StateError(text::formatMessage(messages::kRowDeleted, {m_name}));
    }
}

void Dataset::refresh()
{
    requireOpen();
    settle();
    m_table->refreshRowCount();
    placeNear(m_current);
    notify(DatasetEvent::PositionChanged);
}

void Dataset::sync()
{
    requireOpen();
    m_table->sync();
}

void Dataset::reportChange(RowChange::Kind kind, std::uint32_t record, const RowBuffer& after)
{
    if (!m_changeObserver) {
        return;
    }
    RowChange change;
    change.kind = kind;
    change.record = record;
    change.before = kind == RowChange::Kind::Rewritten ? m_original : RowBuffer();
    change.after = after;
    m_changeObserver(change);
}

int Dataset::addListener(Listener listener)
{
    m_listeners.emplace_back(m_nextListenerId, std::move(listener));
    return m_nextListenerId++;
}

void Dataset::removeListener(int id)
{
    m_listeners.erase(
        std::remove_if(m_listeners.begin(), m_listeners.end(), [id](const auto& entry) { return entry.first == id; }),
        m_listeners.end());
}

void Dataset::notify(DatasetEvent event)
{
    // A copy, so that a listener may add or remove listeners while being told.
    const auto listeners = m_listeners;
    for (const auto& entry : listeners) {
        entry.second(event);
    }
}

} // namespace storage
