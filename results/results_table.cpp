#include "results/results_table.h"

#include "base/file.h"
#include "results/change_journal.h"
#include "results/timing_record.h"
#include "storage/dbf_table.h"
#include "storage/errors.h"
#include "text/messages.h"

namespace results {

namespace {

// Why a file is not the results table; follows "Cannot open file <path>: ".
constexpr const char* kNotResultsTable = "it is not a results table (%s)";
constexpr const char* kTooFewFields = "it has %d fields, the results table %d";
constexpr const char* kOtherField = "field %d is %s, expected %s";
// The examiner's message at "Data  OK", in the style of the program's other checks.
constexpr const char* kCannotStore = "Chybná tabulka výsledků  !!  soubor „%s“ nelze zapsat (%s)";

std::string describe(const storage::TableFieldDef& field)
{
    // A type letter the engine does not know reads as 0.
    std::string text
        = field.name + " " + std::string(1, field.type ? field.type : '?') + " " + std::to_string(field.width);
    return field.decimals > 0 ? text + "." + std::to_string(field.decimals) : text;
}

} // namespace

void checkResultsTableFields(const std::string& path, const std::vector<storage::TableFieldDef>& fields)
{
    const std::vector<storage::TableFieldDef>& expected = resultTableFields();
    std::string why;
    if (fields.size() < expected.size()) {
        why = text::formatMessage(kTooFewFields,
                                  {static_cast<long long>(fields.size()), static_cast<long long>(expected.size())});
    }
    for (std::size_t i = 0; why.empty() && i < expected.size(); ++i) {
        const storage::TableFieldDef& field = fields[i];
        if (field.name != expected[i].name || field.type != expected[i].type || field.width != expected[i].width
            || field.decimals != expected[i].decimals) {
            why = text::formatMessage(kOtherField,
                                      {static_cast<long long>(i + 1), describe(field), describe(expected[i])});
        }
    }
    if (!why.empty()) {
        throw storage::TableError(text::formatMessage(text::messages::kCannotOpenFile, {path}) + ": "
                                  + text::formatMessage(kNotResultsTable, {why}));
    }
}

void configureResultsTable(storage::Dataset& table)
{
    table.setFieldDefsForCreate(resultTableFields());
    table.setFieldCheck(checkResultsTableFields);
    if (!table.isOpen()) {
        table.setTableName(kResultsTableName);
    }
}

void openResultsTable(storage::Dataset& table)
{
    configureResultsTable(table);
    table.open();
}

bool createResultsTableIfMissing(const std::string& directory, const storage::TableOptions& options)
{
    std::string path = kResultsTableName;
    if (!directory.empty()) {
        path = directory + (directory.back() == base::pathSeparator() ? "" : std::string(1, base::pathSeparator()))
            + path;
    }
    return storage::CreateTableFileIfMissing(path, resultTableFields(), options);
}

std::optional<std::string> checkResultsTableWritable(storage::Dataset& table)
{
    if (table.fileReplaced()) {
        try {
            table.close();
        } catch (const storage::FileError&) {
            // The header of a file that is no longer the table; the dataset is closed all the same.
        }
    }
    configureResultsTable(table);
    const std::string path = table.path();
    storage::TableOptions options;
    options.checkFields = checkResultsTableFields;
    try {
        storage::CreateTableFileIfMissing(path, resultTableFields(), options);
        storage::CheckTableFile(path, true, options);
    } catch (const storage::TableError& error) {
        return text::formatMessage(kCannotStore, {path, error.what()});
    }
    return std::nullopt;
}

namespace {

// Keeps a dataset's change observer quiet for one scope: the caller records the change itself.
class QuietObserver
{
public:
    explicit QuietObserver(storage::Dataset& table)
        : m_table(table)
        , m_observer(table.changeObserver())
    {
        m_table.setChangeObserver({});
    }
    ~QuietObserver() { m_table.setChangeObserver(std::move(m_observer)); }
    QuietObserver(const QuietObserver&) = delete;
    QuietObserver& operator=(const QuietObserver&) = delete;

private:
    storage::Dataset& m_table;
    storage::ChangeObserver m_observer;
};

} // namespace

std::uint32_t ulo_do_DBF(storage::Dataset& table, const ResultRecord& record)
{
    configureResultsTable(table);
    // A row the browser left pending is settled (and journaled) first; the new row is the caller's to record.
    table.open();
    if (table.state() == storage::DatasetState::Edit || table.state() == storage::DatasetState::Insert) {
        table.isModified() ? table.post() : table.cancel();
    }
    const QuietObserver quiet(table);
    table.append();
    try {
        for (std::size_t i = 0; i < record.values.size(); ++i) {
            table.setValue(i, record.values[i]);
        }
        table.post();
    } catch (...) {
        // Drop our own half-filled row: left pending, the next navigation would write it.
        if (table.isOpen() && table.state() == storage::DatasetState::Insert) {
            table.cancel();
        }
        throw;
    }
    const std::uint32_t row = table.recordNumber();
    // The row counts as stored only once it is on the device, not in the system's cache.
    table.sync();
    const storage::NoticeSink& notice = table.noticeHandler();
    try {
        table.close();
    } catch (const storage::FileError& error) {
        // The row is on the device; only the header (row count, date) and the end marker behind the
        // row are not, which the next open finds and corrects with its row-count notice. Failing the
        // store here would make the caller store the same result a second time, so the failed write
        // is shown as a notice instead. The table is closed either way.
        if (notice) {
            notice(error.what());
        }
    }
    if (notice) {
        for (const CappedValue& capped : record.capped) {
            notice(cappedValueNotice(capped));
        }
    }
    return row;
}

engine::StoreResult makeResultStore(storage::Dataset& table, std::function<Identity()> subject, audit::Action action)
{
    return [&table, subject = std::move(subject), action](const engine::MeasurementState& state) {
        const std::uint32_t row = ulo_do_DBF(table, makeResultRecord(state, subject ? subject() : Identity {}));
        // Like the timing record below, the journal never undoes the stored row: its failure is a notice.
        recordTableChangeOrNotify(table.path(), {action, row, {}}, table.noticeHandler());
        // The row is stored; the timing record beside it must not undo that. Its failure is a notice, not
        // an exception, which would make the closing screen store the same result a second time.
        try {
            storeTimingRecord(table.path(), state, row);
        } catch (const std::exception& error) {
            if (table.noticeHandler()) {
                table.noticeHandler()(std::string(messages::kTimingRecordFailed) + error.what());
            }
        }
    };
}

} // namespace results
