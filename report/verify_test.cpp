#include "report/test_support.h"
#include "report/verify.h"
#include "results/change_journal.h"
#include "storage/test_support.h"

#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <sstream>

namespace report {
namespace {

using storage::testing::readAll;
using storage::testing::writeAll;

struct VerifyCase
{
    const char* name;
    int rows;     // stored before anything is journaled (0: an empty table)
    bool journal; // journal stores of two more rows, an edit of row 1
    std::function<void(const std::string& table)> tamper;
    int exitCode;
    std::vector<std::string> findings; // lines the output must have
};

// A byte of record `row` of the table at `path` changed, as another program writing the table would.
void changeRow(const std::string& path, std::uint32_t row)
{
    std::string bytes = readAll(path);
    const std::size_t header = static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
    const std::size_t length = static_cast<unsigned char>(bytes[10]) | static_cast<unsigned char>(bytes[11]) << 8;
    bytes[header + (row - 1) * length + 1] = 'X';
    writeAll(path, bytes);
}

// The journal beside `path` without its line `number` (the header is line 1).
void removeLine(const std::string& path, int number)
{
    const std::string journal = audit::journalPath(path);
    const std::string bytes = readAll(journal);
    std::size_t begin = 0;
    for (int line = 1; line < number; ++line) {
        begin = bytes.find("\r\n", begin) + 2;
    }
    writeAll(journal, bytes.substr(0, begin) + bytes.substr(bytes.find("\r\n", begin) + 2));
}

class VerifyTest : public ::testing::TestWithParam<VerifyCase>
{
protected:
    storage::testing::TempDir m_dir;
};

TEST_P(VerifyTest, FindsWhatChangedOutsideTheProgram)
{
    const VerifyCase& c = GetParam();
    const std::string path = m_dir.path("tivora4.DBF");
    const auto record
        = testing::rawRecord({"Nováková", "Jana", "905512", "1234", " 7.12.2026"}, {{1, 5.0, 0, "5|", ""}});
    testing::appendRecords(path, std::vector<results::ResultRecord>(static_cast<std::size_t>(c.rows), record));
    if (c.rows == 0) {
        testing::appendRecords(path, {}); // the empty table
    }
    if (c.journal) {
        for (std::uint32_t row = static_cast<std::uint32_t>(c.rows) + 1; row <= static_cast<std::uint32_t>(c.rows) + 2;
             ++row) {
            testing::appendRecords(path, {record});
            results::recordTableChange(path, {audit::Action::TestStored, row, {}});
        }
        changeRow(path, 1);
        results::recordTableChange(path, {audit::Action::FieldEdited, 1, {{"PRIJM", "Nováková", "X"}}});
    }
    if (c.tamper) {
        c.tamper(path);
    }
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(runVerify(path, out, err), c.exitCode) << out.str() << err.str();
    for (const std::string& finding : c.findings) {
        EXPECT_NE(out.str().find(finding + "\n"), std::string::npos) << "no \"" << finding << "\" in\n" << out.str();
    }
}

const std::string kEnd = "NOT consistent";

INSTANTIATE_TEST_SUITE_P(
    Cases, VerifyTest,
    ::testing::Values(
        VerifyCase {"AllConsistent",
                    1,
                    true,
                    {},
                    0,
                    {"row 1: consistent, changed 1 time in Tivora after it was stored, last by entry 3 (line 4)",
                     "row 2: consistent", "row 3: consistent", "consistent"}},
        VerifyCase {"EmptyTableWithoutJournal", 0, false, {}, 0, {"consistent"}},
        VerifyCase {"RowsWithoutJournal",
                    2,
                    false,
                    {},
                    4,
                    {"row 1: stored before the journal began",
                     "no journal beside the table: none of its rows is vouched for", kEnd}},
        VerifyCase {"ValueChangedOutside",
                    0,
                    true,
                    [](const std::string& path) { changeRow(path, 2); },
                    4,
                    {"row 2: changed outside Tivora: its bytes are not those entry 2 (line 3) recorded", kEnd}},
        VerifyCase {"EntryRemoved",
                    0,
                    true,
                    [](const std::string& path) { removeLine(path, 3); },
                    4,
                    {"row 2: added outside Tivora: the journal has no entry for it",
                     "journal broken at line 3: entry 2 is missing before entry 3", kEnd}},
        VerifyCase {"RowAddedOutside",
                    1,
                    true,
                    [](const std::string& path) {
                        testing::appendRecords(path, {testing::rawRecord({"Cizí", "", "", "", ""}, {})});
                    },
                    4,
                    {"row 4: added outside Tivora: the journal has no entry for it", kEnd}},
        VerifyCase {"TornLastLine",
                    0,
                    true,
                    [](const std::string& path) {
                        writeAll(audit::journalPath(path), readAll(audit::journalPath(path)) + "4,20");
                    },
                    0,
                    {"journal: line 5 was cut short (4 bytes): an append that never finished; not a break of the chain",
                     "consistent"}},
        VerifyCase {"NoJournalButAFile",
                    1,
                    false,
                    [](const std::string& path) { writeAll(audit::journalPath(path), "a,b\r\n"); },
                    4,
                    {"journal broken at line 1: the file is not an audit journal: its first line is not the journal's "
                     "header",
                     kEnd}},
        VerifyCase {"MissingTable", 0, false, [](const std::string& path) { std::remove(path.c_str()); }, 1, {}}),
    storage::testing::CaseName());

} // namespace
} // namespace report
