#include "storage/dataset.h"
#include "storage/dbf_format.h"
#include "storage/errors.h"
#include "storage/test_support.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace storage {
namespace {

using testing::readAll;

constexpr std::size_t kH = 129;
constexpr std::size_t kR = 27;

// `path` with the system's separator in place of "/".
std::string native(std::string path)
{
    std::replace(path.begin(), path.end(), '/', base::pathSeparator());
    return path;
}

class DatasetTest : public ::testing::Test
{
protected:
    DatasetTest()
        : m_table("Table1", "table.dbf")
    {
        m_table.setDirectory(m_dir.dir());
        m_table.setFieldDefsForCreate(testing::smallSchema());
        m_table.setDateSource(testing::fixedDate);
    }

    // Writes rows named by `names`; names starting with "*" are stored marked deleted.
    void writeTable(std::initializer_list<std::string> names)
    {
        std::string bytes = readAll(path());
        if (bytes.empty()) {
            CreateTableFile(path(), testing::smallSchema(), testing::fixedDateOptions());
            bytes = readAll(path());
        }
        if (bytes.back() == '\x1A') {
            bytes.pop_back();
        }
        for (const std::string& name : names) {
            const bool deleted = name[0] == '*';
            std::string record = (deleted ? "*" : " ") + name.substr(deleted ? 1 : 0);
            bytes += record + std::string(kR - record.size(), ' ');
        }
        testing::writeAll(path(), bytes);
    }

    std::string path() const { return m_dir.path("table.dbf"); }
    std::string recordBytes(std::uint32_t n) const { return readAll(path()).substr(kH + (n - 1) * kR, kR); }

    std::string currentName() const
    {
        const FieldValue value = m_table.value(0);
        return isNull(value) ? std::string() : std::get<std::string>(value);
    }

    std::string namesAround(int offset, std::size_t count)
    {
        std::string out;
        for (const VisibleRow& row : m_table.rowsAround(offset, count)) {
            const auto& name = row.values[0];
            out += (row.current ? "[" : "") + (isNull(name) ? std::string("new") : std::get<std::string>(name))
                + (row.current ? "]" : "") + " ";
        }
        return out;
    }

    testing::TempDir m_dir;
    Dataset m_table;
};

TEST_F(DatasetTest, EmptyTableIsAtBothEndsAndEditStartsANewRow)
{
    m_table.open();
    EXPECT_EQ(readAll(path()).size(), kH + 1) << "opening creates the missing table";
    EXPECT_TRUE(m_table.bof());
    EXPECT_TRUE(m_table.eof());
    EXPECT_TRUE(m_table.isEmpty());
    EXPECT_TRUE(isNull(m_table.value(2)));
    m_table.edit();
    EXPECT_EQ(m_table.state(), DatasetState::Insert);
    m_table.setValue(0, std::string("Nová"));
    m_table.post();
    EXPECT_EQ(m_table.recordNumber(), 1U);
    EXPECT_FALSE(m_table.isEmpty());
}

TEST_F(DatasetTest, NavigationSkipsDeletedRows)
{
    writeTable({"A", "*B", "C", "D", "*E", "F", "*G"});
    m_table.open();
    EXPECT_EQ(currentName(), "A");
    EXPECT_TRUE(m_table.bof());
    m_table.next();
    EXPECT_EQ(currentName(), "C");
    EXPECT_FALSE(m_table.bof());
    m_table.last();
    EXPECT_EQ(currentName(), "F");
    EXPECT_TRUE(m_table.eof());
    m_table.prior();
    EXPECT_EQ(currentName(), "D");
    EXPECT_FALSE(m_table.eof());
    EXPECT_EQ(m_table.moveBy(5), 1);
    EXPECT_EQ(currentName(), "F");
    EXPECT_TRUE(m_table.eof());
    EXPECT_EQ(m_table.moveBy(-10), -3);
    EXPECT_EQ(currentName(), "A");
    EXPECT_TRUE(m_table.bof());
    m_table.prior();
    EXPECT_EQ(currentName(), "A");
    EXPECT_EQ(m_table.rowCount(), 7U);
}

TEST_F(DatasetTest, InsertedRowShowsInPlaceUntilPostedThenAtTheEnd)
{
    writeTable({"A", "*B", "C", "D"});
    m_table.open();
    m_table.next();
    m_table.insert();
    EXPECT_EQ(namesAround(-5, 10), "A [new] C D ");
    m_table.setValue(0, std::string("Nový"));
    EXPECT_EQ(readAll(path()).size(), kH + 4 * kR) << "nothing written before the post";
    m_table.post();
    EXPECT_EQ(m_table.recordNumber(), 5U);
    EXPECT_EQ(recordBytes(5).substr(0, 5), " Nov\xEC");
    EXPECT_EQ(namesAround(-1, 10), "D [Nový] ");
    m_table.last();
    EXPECT_EQ(currentName(), "Nový");
}

TEST_F(DatasetTest, AppendShowsTheNewRowAtTheEndAndCancelDropsIt)
{
    writeTable({"A", "C"});
    m_table.open();
    m_table.append();
    EXPECT_TRUE(m_table.eof());
    EXPECT_EQ(namesAround(-1, 5), "C [new] ");
    m_table.setValue(1, std::int64_t {7});
    m_table.cancel();
    EXPECT_EQ(m_table.state(), DatasetState::Browse);
    EXPECT_EQ(currentName(), "A");
    m_table.close();
    EXPECT_EQ(readAll(path()).size(), kH + 2 * kR + 1);
}

TEST_F(DatasetTest, EditRewritesInPlaceAndCancelRestores)
{
    writeTable({"A", "B", "C"});
    m_table.open();
    m_table.next();
    m_table.setValue(0, std::string("Bé"));
    EXPECT_EQ(m_table.state(), DatasetState::Edit);
    EXPECT_TRUE(m_table.isModified());
    m_table.cancel();
    EXPECT_EQ(currentName(), "B");
    m_table.setValue(1, std::int64_t {12});
    m_table.post();
    EXPECT_EQ(recordBytes(2), " B" + std::string(14, ' ') + " 12" + std::string(8, ' '));
    EXPECT_EQ(m_table.rowCount(), 3U);
}

TEST_F(DatasetTest, PendingRowsAreSettledByTheNextOperation)
{
    writeTable({"A", "B"});
    m_table.open();
    m_table.setValue(0, std::string("Alfa"));
    m_table.next();
    EXPECT_EQ(recordBytes(1).substr(0, 5), " Alfa") << "a modified row is written";
    m_table.insert();
    m_table.next();
    EXPECT_EQ(m_table.state(), DatasetState::Browse);
    EXPECT_EQ(m_table.rowCount(), 2U) << "an unmodified new row is dropped";
    m_table.insert();
    m_table.setValue(0, std::string("Gama"));
    m_table.close();
    EXPECT_EQ(readAll(path()).size(), kH + 2 * kR + 1) << "closing discards the pending row";
}

TEST_F(DatasetTest, DeleteMarksTheRowAndMovesToTheNextVisible)
{
    writeTable({"A", "B", "*X", "C"});
    m_table.open();
    m_table.next();
    m_table.deleteRow();
    EXPECT_EQ(recordBytes(2).substr(0, 2), "*B");
    EXPECT_EQ(currentName(), "C");
    m_table.deleteRow();
    EXPECT_EQ(currentName(), "A") << "after the last row the one before becomes current";
    m_table.deleteRow();
    EXPECT_TRUE(m_table.isEmpty());
    EXPECT_TRUE(m_table.bof() && m_table.eof());
    try {
        m_table.deleteRow();
        FAIL();
    } catch (const StateError& error) {
        EXPECT_STREQ(error.what(), "Table1: Cannot perform this operation on an empty dataset");
    }
    EXPECT_EQ(m_table.rowCount(), 4U);
}

// The observer hears each row written, with the row as it was before an edit, also when a pending row is
// settled by navigation, and nothing for what never reached the file.
TEST_F(DatasetTest, ChangeObserverHearsEveryWrittenRow)
{
    writeTable({"A", "B", "C"});
    std::vector<std::string> heard;
    m_table.setChangeObserver([&](const RowChange& change) {
        const auto text = [](const RowBuffer& row) {
            return std::string(reinterpret_cast<const char*>(row.data()), row.size()).substr(0, 5);
        };
        const char* kind = change.kind == RowChange::Kind::Appended ? "appended"
            : change.kind == RowChange::Kind::Rewritten             ? "rewritten"
                                                                    : "deleted";
        heard.push_back(std::string(kind) + " " + std::to_string(change.record) + " [" + text(change.before) + "]["
                        + text(change.after) + "]");
    });
    m_table.open();
    m_table.setValue(0, std::string("Alfa"));
    m_table.next(); // settles the edit
    m_table.setValue(0, std::string("Beta"));
    m_table.cancel(); // nothing written, nothing heard
    m_table.append();
    m_table.setValue(0, std::string("D"));
    m_table.post();
    m_table.append();
    m_table.cancel();
    testing::setByte(path(), kH + kR, dbf::kDeletedFlag); // row 2 deleted by another station
    m_table.goToRecord(3);
    m_table.deleteRow(); // row 4 becomes current
    testing::setByte(path(), kH + 3 * kR, dbf::kDeletedFlag);
    EXPECT_THROW(m_table.deleteRow(), StateError) << "row 4 was deleted by another station";
    EXPECT_EQ(heard,
              (std::vector<std::string> {"rewritten 1 [ A   ][ Alfa]", "appended 4 [][ D   ]", "deleted 3 [][]"}));
}

TEST_F(DatasetTest, RangeErrorKeepsTheRowInEditWithTheOldValue)
{
    writeTable({"A"});
    m_table.open();
    m_table.setValue(1, std::int64_t {5});
    try {
        m_table.setValue(1, std::int64_t {40000});
        FAIL();
    } catch (const FieldValueError& error) {
        EXPECT_STREQ(error.what(),
                     "40000 is not a valid value for field 'POCET'. The allowed range is -32768 to 32767");
    }
    EXPECT_EQ(m_table.state(), DatasetState::Edit);
    EXPECT_EQ(m_table.value(1), FieldValue(std::int64_t {5}));
    EXPECT_THROW(m_table.setValue(1, std::int64_t {1000}), FieldValueError);
    EXPECT_EQ(m_table.value(1), FieldValue(std::int64_t {5}));
}

TEST_F(DatasetTest, RefreshShowsRowsOthersAppendedAndKeepsThePosition)
{
    writeTable({"A", "B"});
    m_table.open();
    m_table.next();
    writeTable({"C"});
    m_table.last();
    EXPECT_EQ(currentName(), "B");
    m_table.refresh();
    EXPECT_EQ(currentName(), "B");
    m_table.next();
    EXPECT_EQ(currentName(), "C");
}

TEST_F(DatasetTest, RowDeletedElsewhereIsNotBroughtBackByAnEdit)
{
    writeTable({"A", "B"});
    m_table.open();
    testing::setByte(path(), kH, dbf::kDeletedFlag);
    try {
        m_table.setValue(0, std::string("Zombie"));
        FAIL();
    } catch (const StateError& error) {
        EXPECT_STREQ(error.what(), "Table1: The row was deleted by another user");
    }
    EXPECT_EQ(m_table.state(), DatasetState::Browse);
    EXPECT_EQ(currentName(), "B");
    EXPECT_EQ(recordBytes(1).substr(0, 2), "*A");
}

TEST_F(DatasetTest, ListenersHearEveryChange)
{
    writeTable({"A", "B"});
    std::vector<DatasetEvent> events;
    const int id = m_table.addListener([&](DatasetEvent event) { events.push_back(event); });
    m_table.open();
    m_table.next();
    m_table.edit();
    m_table.setValue(0, std::string("X"));
    m_table.post();
    m_table.close();
    using E = DatasetEvent;
    EXPECT_EQ(events,
              (std::vector<E> {E::Opened, E::PositionChanged, E::PositionChanged, E::StateChanged, E::DataChanged,
                               E::StateChanged, E::Closed}));
    m_table.removeListener(id);
    m_table.open();
    EXPECT_EQ(events.size(), 7U);
}

TEST_F(DatasetTest, SettingsNeedAClosedTable)
{
    m_table.open();
    try {
        m_table.setDirectory("/tmp");
        FAIL();
    } catch (const StateError& error) {
        EXPECT_STREQ(error.what(), "Table1: Cannot perform this operation on an open dataset");
    }
    EXPECT_THROW(m_table.createTable(), StateError);
    m_table.close();
    EXPECT_THROW(m_table.value(0), StateError);
    EXPECT_EQ(resolveTableDirectory("", "/opt/Tivora/bin"), native("/opt/Tivora/bin/"));
    EXPECT_EQ(resolveTableDirectory("Data/../Results", "/opt/Tivora/"), native("/opt/Tivora/Results/"));
    EXPECT_EQ(resolveTableDirectory("/srv/Lab//A/./", "/opt"), native("/srv/Lab/A/"));
    // Paths are UTF-8 whatever the system's code page.
    EXPECT_EQ(resolveTableDirectory("Zkouška/./Řehoř", "/opt/Měření"), native("/opt/Měření/Zkouška/Řehoř/"));
}

TEST_F(DatasetTest, ReadOnlyDatasetNeverCreatesTheTable)
{
    m_table.setReadOnly(true);
    try {
        m_table.open();
        FAIL();
    } catch (const TableError& error) {
        EXPECT_EQ(error.what(), "Open: Table file not found : " + path());
    }
    EXPECT_FALSE(base::fileExists(path()));
    writeTable({"A"});
    m_table.open();
    EXPECT_FALSE(m_table.canModify());
    EXPECT_THROW(m_table.edit(), StateError);
}

TEST_F(DatasetTest, NavigationReadsOnlyTheRecordsItPasses)
{
    CreateTableFile(path(), testing::smallSchema(), testing::fixedDateOptions());
    std::string bytes = readAll(path());
    bytes.pop_back();
    bytes += std::string(100000 * kR, ' ');
    testing::writeAll(path(), bytes);
    // Put a counting file under the dataset through the registry it opens by.
    auto counting = std::make_unique<testing::CountingFile>(base::openFile(path(), base::OpenMode::ReadWrite));
    auto* counter = counting.get();
    auto shared = std::make_shared<TableFile>(std::move(counting), true, TableOptions {}, false);
    paged_file_registry::add(path(), shared);
    m_table.open();
    auto readSince = [counter, last = counter->bytesRead()]() mutable {
        const auto now = counter->bytesRead();
        return now - std::exchange(last, now);
    };
    readSince();
    m_table.last();
    EXPECT_LE(readSince(), kR);
    EXPECT_EQ(m_table.moveBy(-20), -20);
    EXPECT_LE(readSince(), 20 * kR);
    EXPECT_EQ(m_table.rowsAround(-5, 12).size(), 12U);
    EXPECT_LE(readSince(), 20 * kR);
    EXPECT_EQ(m_table.recordNumber(), 99980U);
}

} // namespace
} // namespace storage
