// Any bytes as a table file: opening either fails with a message and leaves the bytes alone, or gives a
// table whose every row and field can be read. A table that opens takes one more row: afterwards the
// old rows are unchanged, the new one reads back, and the file opens again without a notice. The same
// append on a disk that fills up fails with a message and keeps the old rows.
#include "fuzz/fuzz_support.h"
#include "storage/dbf_format.h"
#include "storage/dbf_table.h"

#include <numeric>

namespace {

using storage::FieldKind;
using storage::FieldValue;
using storage::RowBuffer;
using storage::TableFieldDef;
using storage::TableFile;
using Bytes = std::vector<unsigned char>;

struct Opened
{
    std::shared_ptr<Bytes> bytes;
    std::unique_ptr<TableFile> table;
    std::vector<std::string> notices;
};

// Opens a copy of `image`; the table is empty when the file is refused.
std::unique_ptr<Opened> open(const Bytes& image, bool writable, std::size_t growthBudget = SIZE_MAX)
{
    auto opened = std::make_unique<Opened>();
    opened->bytes = std::make_shared<Bytes>(image);
    storage::TableOptions options;
    options.today = [] { return base::LocalDate {2026, 12, 7}; };
    options.notice = [notices = &opened->notices](const std::string& text) { notices->push_back(text); };
    try {
        auto file = std::make_unique<fuzz::MemoryFile>(opened->bytes, growthBudget);
        opened->table = std::make_unique<TableFile>(std::move(file), writable, options, false);
    } catch (const storage::TableError& error) {
        fuzz::require(error.what()[0] != '\0', "a refused table says why");
        fuzz::require(*opened->bytes == image, "a refused table is left as it was");
    }
    return opened;
}

// Reads every record and every field, and walks the visible rows from both ends.
std::vector<RowBuffer> readEverything(TableFile& table)
{
    std::vector<RowBuffer> rows;
    for (std::uint32_t n = 1; n <= table.rowCount(); ++n) {
        RowBuffer row;
        table.loadRow(n, row);
        fuzz::require(row.size() == table.recordLength(), "a loaded row has the record's length");
        for (const TableFieldDef& field : table.fields()) {
            fuzz::require(field.offset + static_cast<std::size_t>(field.width) <= row.size(), "fields lie inside");
            storage::DecodeField(row, field);
        }
        rows.push_back(row);
    }
    RowBuffer scratch;
    std::uint32_t visible = 0;
    for (std::uint32_t n = table.seekVisible(1, 1, scratch); n != 0; n = table.seekVisible(n + 1, 1, scratch)) {
        fuzz::require(scratch.flag() == storage::dbf::kLiveFlag && n <= table.rowCount(), "only live rows show");
        ++visible;
    }
    for (std::uint32_t n = table.seekVisible(table.rowCount(), -1, scratch); n != 0;
         n = table.seekVisible(n - 1, -1, scratch)) {
        --visible;
    }
    fuzz::require(visible == 0, "the same rows show in both directions");
    return rows;
}

// A row with a value in every field that can hold one: text, 7, 2.5.
RowBuffer newRow(const TableFile& table)
{
    RowBuffer row = table.newRow();
    for (const TableFieldDef& field : table.fields()) {
        try {
            if (field.kind == FieldKind::Text) {
                storage::EncodeField(row, field, std::string("Nový řádek"));
            } else {
                storage::EncodeField(row, field, field.kind == FieldKind::Float ? FieldValue(2.5) : std::int64_t {7});
            }
        } catch (const storage::FieldValueError&) {
            // Fields the program never writes (memo, binary, unknown letters) stay blank.
        }
    }
    return row;
}

// Appends one row and stores the header; on success checks the result by opening it again.
void appendAndCheck(const Bytes& image, const std::vector<RowBuffer>& oldRows, std::size_t growthBudget)
{
    auto opened = open(image, true, growthBudget);
    fuzz::require(opened->table != nullptr, "a table that opened read-only opens writable");
    TableFile& table = *opened->table;
    RowBuffer row = newRow(table);
    std::uint32_t number = 0;
    try {
        number = table.appendRow(row);
        table.storeHeader();
    } catch (const storage::FileError& error) {
        fuzz::require(error.what()[0] != '\0', "a failed write says why");
        fuzz::require(growthBudget != SIZE_MAX, "only a full disk fails");
        const Bytes& now = *opened->bytes;
        const bool kept = now.size() >= image.size() && std::equal(image.begin(), image.end(), now.begin());
        fuzz::require(kept || number != 0, "a failed append leaves the file as it was");
        return;
    }
    fuzz::require(number == oldRows.size() + 1, "the new row goes behind the last one");

    auto again = open(*opened->bytes, false);
    fuzz::require(again->table != nullptr, "a stored table opens again");
    // With one-byte records the end marker reads as a record; no real table has them.
    fuzz::require(again->notices.empty() || table.recordLength() == 1, "a stored header is consistent");
    const std::vector<RowBuffer> rows = readEverything(*again->table);
    fuzz::require(rows.size() == number || table.recordLength() == 1, "the new row counts");
    for (std::size_t i = 0; i < oldRows.size(); ++i) {
        fuzz::require(rows[i] == oldRows[i], "old rows are unchanged by an append");
    }
    fuzz::require(rows[number - 1] == row, "the new row reads back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Bytes image(data, data + size);
    auto opened = open(image, false);
    if (!opened->table) {
        return 0;
    }
    const std::vector<RowBuffer> rows = readEverything(*opened->table);
    fuzz::require(*opened->bytes == image, "reading changes nothing");
    appendAndCheck(image, rows, SIZE_MAX);
    // The disk fills up somewhere in the record or the end marker; which byte depends on the input.
    const std::size_t budget
        = std::accumulate(image.begin(), image.end(), std::size_t {0}) % (opened->table->recordLength() + 2);
    appendAndCheck(image, rows, budget);
    return 0;
}
