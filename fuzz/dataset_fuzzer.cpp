// The results browser's dataset over any table file, driven by a script of operations: navigation,
// windows of rows, new and edited rows, deletes, refreshes, reopening and storing a result. No
// operation may crash or leave the dataset in an impossible state, and records the script never wrote
// keep their bytes.
//
// Input: one byte n, then n bytes of script, then the table file.
#include "fuzz/fuzz_support.h"
#include "results/results_table.h"
#include "storage/dataset.h"
#include "storage/dbf_table.h"
#include "storage/test_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace {

using storage::Dataset;
using storage::DatasetState;
using storage::FieldValue;
using Bytes = std::vector<unsigned char>;

// A directory of this process for the table file, removed at exit.
const storage::testing::TempDir& scratchDirectory()
{
    static const storage::testing::TempDir directory;
    return directory;
}

const std::string& tablePath()
{
    static const std::string path = scratchDirectory().path(results::kResultsTableName);
    return path;
}

FieldValue valueFor(std::uint8_t choice)
{
    switch (choice % 10) {
    case 0:
        return {};
    case 1:
        return std::string("Dvořák");
    case 2:
        return std::string(300, 'x');
    case 3:
        return std::int64_t {0};
    case 4:
        return std::int64_t {-40000};
    case 5:
        return std::int64_t {1000000000000};
    case 6:
        return 2.5;
    case 7:
        return 1e300;
    case 8:
        return std::string(" 12");
    default:
        return std::string("x");
    }
}

results::ResultRecord sampleResult()
{
    results::ResultRecord record;
    record.values[results::kSurname] = std::string("Nováková");
    for (std::size_t i = results::kFirstCount; i < results::kFirstList; ++i) {
        record.values[i] = std::int64_t {3};
    }
    record.values[results::kFirstList] = std::string("312|298|");
    return record;
}

// The dataset may not contradict itself, whatever the file holds.
void checkConsistent(Dataset& table)
{
    if (!table.isOpen()) {
        return;
    }
    fuzz::require(table.values().size() == table.fields().size(), "a value per field");
    if (table.state() == DatasetState::Browse && !table.isEmpty()) {
        const auto rows = table.rowsAround(0, 1);
        fuzz::require(rows.size() == 1 && rows[0].current, "the current row is in its window");
        fuzz::require(rows[0].recordNumber == table.recordNumber(), "the window starts at the current row");
        fuzz::require(table.recordNumber() <= table.rowCount(), "the current row is in the file");
    }
}

// Runs one operation; errors are the examiner's messages and leave the dataset usable.
void runStep(Dataset& table, fuzz::InputReader& script, std::set<std::uint32_t>& written)
{
    const std::uint8_t op = script.byte();
    const std::uint8_t parameter = script.byte();
    if (table.isOpen() && (table.state() == DatasetState::Edit || op % 16 == 8 || op % 16 == 9 || op % 16 == 12)) {
        written.insert(table.recordNumber()); // settled, edited or deleted by this step
    }
    switch (op % 16) {
    case 0:
        table.first();
        break;
    case 1:
        table.last();
        break;
    case 2:
        table.next();
        break;
    case 3:
        table.prior();
        break;
    case 4:
        table.moveBy(static_cast<std::int8_t>(parameter));
        break;
    case 5: {
        const auto rows = table.rowsAround(static_cast<std::int8_t>(parameter), parameter % 32);
        fuzz::require(rows.size() <= parameter % 32U, "no more rows than asked for");
        break;
    }
    case 6:
        table.append();
        break;
    case 7:
        table.insert();
        break;
    case 8:
        table.edit();
        break;
    case 9:
        table.setValue(parameter % (table.fields().size() + 1), valueFor(script.byte()));
        break;
    case 10:
        table.post();
        break;
    case 11:
        table.cancel();
        break;
    case 12:
        table.deleteRow();
        break;
    case 13:
        table.refresh();
        break;
    case 14:
        table.close();
        table.open();
        break;
    default:
        results::ulo_do_DBF(table, sampleResult());
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::InputReader input(data, size);
    const std::string_view scriptBytes = input.bytes(input.byte());
    const std::string_view file = input.rest();
    const Bytes image(file.begin(), file.end());
    {
        std::ofstream out(tablePath(), std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
        fuzz::require(static_cast<bool>(out.flush()), "the table file can be written");
    }

    // Where the records of the file lie, as the engine sees them. A refused file is table_file's case.
    std::unique_ptr<storage::TableFile> original;
    try {
        original = std::make_unique<storage::TableFile>(
            std::make_unique<fuzz::MemoryFile>(std::make_shared<Bytes>(image)), false, storage::TableOptions {}, false);
    } catch (const storage::TableError&) {
        return 0;
    }
    std::set<std::uint32_t> written;
    {
        Dataset table("Table1", results::kResultsTableName);
        table.setDirectory(scratchDirectory().dir());
        table.setDateSource([] { return base::LocalDate {2026, 12, 7}; });
        table.open();
        fuzz::InputReader script(reinterpret_cast<const std::uint8_t*>(scriptBytes.data()), scriptBytes.size());
        while (!script.empty()) {
            try {
                runStep(table, script, written);
            } catch (const storage::TableError& error) {
                fuzz::require(error.what()[0] != '\0', "a failure says why");
            }
            checkConsistent(table);
        }
        try {
            table.close();
        } catch (const storage::TableError&) {
            // Reported to the examiner; the rows are checked below all the same.
        }
    }

    std::ifstream in(tablePath(), std::ios::binary);
    const Bytes after {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t recordLength = original->recordLength();
    for (std::uint32_t n = 1; n <= original->rowCount(); ++n) {
        if (written.count(n) != 0) {
            continue;
        }
        const auto at = static_cast<std::ptrdiff_t>(original->pageOffset(n));
        fuzz::require(after.size() >= static_cast<std::size_t>(at) + recordLength
                          && std::equal(after.begin() + at,
                                        after.begin() + at + static_cast<std::ptrdiff_t>(recordLength),
                                        image.begin() + at),
                      "rows the script did not write keep their bytes");
    }
    return 0;
}
