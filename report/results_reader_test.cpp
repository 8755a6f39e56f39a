#include "report/report_error.h"
#include "report/results_reader.h"
#include "report/test_support.h"
#include "storage/dbf_format.h"
#include "storage/errors.h"
#include "storage/test_support.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace report {
namespace {

// The case's name as a test name: letters and digits, the rest as "_".
template<typename Case>
std::string caseName(const ::testing::TestParamInfo<Case>& info)
{
    std::string name = info.param.name;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
    }
    return name;
}

using storage::testing::TempDir;

class ResultsReaderTest : public ::testing::Test
{
protected:
    std::string writeTable(const std::vector<results::ResultRecord>& records)
    {
        const std::string path = m_dir.path("tivora4.DBF");
        testing::appendRecords(path, records);
        return path;
    }

    results::ResultRecord record(const char* surname, const std::string& listA = "300|")
    {
        return testing::rawRecord({surname, "Jana", " 12345", "6789", " 7.12.2026"}, {{1, 300.0, 2, listA, ""}});
    }

    TempDir m_dir;
};

TEST_F(ResultsReaderTest, ReadsEveryFieldOfARow)
{
    const std::string path = writeTable({record("Nováková", "312|298|")});
    ResultsReader reader(path);
    ASSERT_EQ(reader.recordCount(), 1U);
    const auto test = reader.read(1);
    ASSERT_TRUE(test);
    EXPECT_EQ(test->identity.record, 1U);
    EXPECT_EQ(test->identity.surname, "Nováková");
    EXPECT_EQ(test->identity.birthNumber1, "12345"); // the table engine trims the blank position
    EXPECT_EQ(test->identity.birthNumberText(), "12345/6789");
    EXPECT_EQ(test->identity.date, "7.12.2026");
    EXPECT_EQ(*test->series[0].count, 1);
    EXPECT_EQ(*test->series[0].mean, 300.0);
    EXPECT_EQ(*test->series[0].premature, 2);
    EXPECT_EQ(test->series[0].listA, "312|298|");
    EXPECT_EQ(std::get<std::string>(test->values[17]), "312|298|");
    EXPECT_EQ(std::get<std::int64_t>(test->values[5]), 1);
    EXPECT_TRUE(storage::isNull(test->values[18]));
    EXPECT_TRUE(test->issues.empty());
}

TEST_F(ResultsReaderTest, DeletedRowsAreSkippedButKeepTheirNumbers)
{
    const std::string path = writeTable({record("A"), record("B"), record("C")});
    testing::deleteRecord(path, 2);
    ResultsReader reader(path);
    EXPECT_FALSE(reader.read(2));
    std::vector<std::uint32_t> seen;
    reader.forEach([&](const StoredTest& test) { seen.push_back(test.identity.record); });
    EXPECT_EQ(seen, (std::vector<std::uint32_t> {1, 3}));
    const auto identities = reader.identities();
    ASSERT_EQ(identities.size(), 2U);
    EXPECT_EQ(identities[1].surname, "C");
    EXPECT_THROW(reader.read(4), storage::TableError);
}

TEST_F(ResultsReaderTest, NumberFieldHoldingTextIsReportedNotReadAsZero)
{
    const std::string path = writeTable({record("A")});
    // POC_1SER holds "1O" after a hand edit in another program: offset 1 + 15 + 12 + 6 + 4 + 12 = 50.
    storage::testing::setByte(path, 833 + 50 + 1, '1');
    storage::testing::setByte(path, 833 + 50 + 2, 'O');
    ResultsReader reader(path);
    const auto test = reader.read(1);
    ASSERT_EQ(test->issues.size(), 1U);
    EXPECT_EQ(describe(test->issues[0]), "POC_1SER: '1O' is not a number");
    EXPECT_FALSE(test->series[0].count);
    EXPECT_TRUE(storage::isNull(test->values[5]));
}

TEST_F(ResultsReaderTest, TableWhileAStationIsAppending)
{
    const std::string path = writeTable({record("A"), record("B")});
    const std::string stored = storage::testing::readAll(path);
    const std::string rows = stored.substr(0, stored.size() - 1); // without the end marker
    const std::size_t recordLength = 2138;
    ASSERT_EQ(rows.size(), 833 + 2 * recordLength);
    {
        ResultsReader reader(path);
        // Another station has written half of a third record and not yet stored the header.
        storage::testing::writeAll(path, rows + std::string(recordLength - 1, ' '));
        EXPECT_EQ(reader.refresh(), 2U);
        EXPECT_TRUE(reader.read(2));
        // Its record is complete now; the header still says 2 rows.
        storage::testing::writeAll(path, rows + stored.substr(833, recordLength));
        EXPECT_EQ(reader.refresh(), 3U);
        EXPECT_EQ(reader.read(3)->identity.surname, "A");
    }
    // A reader that opens now sees the lagging header count only as a notice.
    ResultsReader late(path);
    EXPECT_EQ(late.recordCount(), 3U);
    ASSERT_EQ(late.notices().size(), 1U);
    EXPECT_EQ(late.notices()[0], "Invalid Record Count,\rRecordCount in Hdr : 2\rexpected : 3");
}

TEST_F(ResultsReaderTest, NeverWritesTheTable)
{
    const std::string path = writeTable({record("A")});
    const std::string before = storage::testing::readAll(path);
    {
        ResultsReader reader(path);
        reader.forEach([](const StoredTest&) {});
        reader.refresh();
    }
    EXPECT_EQ(storage::testing::readAll(path), before);
}

TEST_F(ResultsReaderTest, TablesThatCannotBeRead)
{
    EXPECT_THROW(ResultsReader(m_dir.path("missing.DBF")), storage::TableError);
    const std::string other = m_dir.path("other.DBF");
    storage::CreateTableFile(other, storage::testing::smallSchema());
    try {
        ResultsReader reader(other);
        FAIL() << "a table without the result fields was opened";
    } catch (const ReportError& error) {
        EXPECT_EQ(std::string(error.what()), other + " is not a results table: it has no field JMENO");
    }
}

// What another program does to the table while a report reads it, after the first row was read.
struct ChangeUnderTheReader
{
    const char* name;
    std::function<void(const std::string& table, const std::string& other)> change;
    const char* what; // "" when the reading goes on: only what stations do
};

class ChangeUnderTheReaderTest : public ResultsReaderTest, public ::testing::WithParamInterface<ChangeUnderTheReader>
{ };

TEST_P(ChangeUnderTheReaderTest, RowsOfTwoTablesAreNeverMixed)
{
    std::vector<results::ResultRecord> rows;
    for (int i = 0; i < 40; ++i) {
        rows.push_back(record(("Row" + std::to_string(i + 1)).c_str(), std::to_string(300 + i) + "|"));
    }
    const std::string path = writeTable(rows);
    const std::string other = m_dir.path("other.DBF");
    testing::appendRecords(other, {record("Other", "999|"), record("Other", "998|")});
    ResultsReader reader(path);
    std::vector<std::string> surnames;
    const auto read = [&] {
        reader.forEach([&](const StoredTest& test) {
            if (surnames.empty()) {
                GetParam().change(path, other);
            }
            surnames.push_back(test.identity.surname);
        });
    };
    if (std::string(GetParam().what).empty()) {
        read();
        ASSERT_GE(surnames.size(), 39U);
        EXPECT_EQ(surnames.back(), "Row40");
        std::sort(surnames.begin(), surnames.end());
        EXPECT_EQ(std::adjacent_find(surnames.begin(), surnames.end()), surnames.end());
        return;
    }
    try {
        read();
        ADD_FAILURE() << "the change went unnoticed";
    } catch (const ReportError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Cannot read file " + path + ": it was changed while it was read (" + GetParam().what + ")");
    }
    // What was handed out before the change was noticed (and the reading failed) holds no row twice:
    // a reader that went on behind the file's new end handed out the row read last again and again.
    std::sort(surnames.begin(), surnames.end());
    EXPECT_EQ(std::adjacent_find(surnames.begin(), surnames.end()), surnames.end());
}

// A station's append as another process makes it: a row behind the last, the header's date and count.
void appendAsAnotherStation(const std::string& table)
{
    const std::string copy = table + ".station";
    storage::testing::writeAll(copy, storage::testing::readAll(table));
    testing::appendRecords(copy, {testing::rawRecord({"New", "", "", "", ""}, {})});
    storage::testing::writeAll(table, storage::testing::readAll(copy));
}

// A station's delete: the flag byte of record `record` set.
void deleteAsAnotherStation(const std::string& table, std::size_t record)
{
    const std::string bytes = storage::testing::readAll(table);
    const auto word = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at]))
            | static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    storage::testing::setByte(table, word(8) + (record - 1) * word(10), '*');
}

std::vector<ChangeUnderTheReader> changes()
{
    std::vector<ChangeUnderTheReader> list = {
        ChangeUnderTheReader {"a station appends and stores the header",
                              [](const std::string& table, const std::string&) { appendAsAnotherStation(table); }, ""},
        ChangeUnderTheReader {"a station deletes a row",
                              [](const std::string& table, const std::string&) { deleteAsAnotherStation(table, 3); },
                              ""},
        ChangeUnderTheReader {"overwritten in place by a smaller table",
                              [](const std::string& table, const std::string& other) {
                                  storage::testing::writeAll(table, storage::testing::readAll(other));
                              },
                              "it is shorter than its rows"},
        ChangeUnderTheReader {"overwritten in place by another table as long",
                              [](const std::string& table, const std::string&) {
                                  std::string bytes = storage::testing::readAll(table);
                                  bytes[8] = static_cast<char>(bytes[8] + 32); // a header one field longer
                                  storage::testing::writeAll(table, bytes);
                              },
                              "its header is not the one it had"}};
#ifndef _WIN32
    // Windows renames nothing over a file that is open.
    list.push_back(ChangeUnderTheReader {"replaced by another file",
                                         [](const std::string& table, const std::string& other) {
                                             std::filesystem::rename(std::filesystem::u8path(other),
                                                                     std::filesystem::u8path(table));
                                         },
                                         "another file has taken its name"});
#endif
    return list;
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangeUnderTheReaderTest, ::testing::ValuesIn(changes()),
                         caseName<ChangeUnderTheReader>);

} // namespace
} // namespace report
