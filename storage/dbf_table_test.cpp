#include "storage/dbf_format.h"
#include "storage/dbf_table.h"
#include "storage/errors.h"
#include "storage/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace storage {
namespace {

using testing::fileSize;
using testing::fixedDateOptions;
using testing::readAll;
using testing::setByte;
using testing::smallSchema;

// Header 32 + 3 * 32 + 1 = 129 bytes, record 1 + 15 + 3 + 8 = 27 bytes.
constexpr std::size_t kH = 129;
constexpr std::size_t kR = 27;

class DbfTableTest : public ::testing::Test
{
protected:
    std::string path() const { return m_dir.path("table.dbf"); }

    std::shared_ptr<TableFile> open(bool readOnly = false)
    {
        TableOptions options = fixedDateOptions();
        options.notice = [this](const std::string& text) { m_notices.push_back(text); };
        return OpenTableFile(path(), readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite, IfMissing::Create,
                             smallSchema(), options);
    }

    // Appends rows named by `names` with POCET = row number and closes the table.
    void writeTable(std::initializer_list<const char*> names)
    {
        auto table = open();
        std::int64_t n = 0;
        for (const char* name : names) {
            RowBuffer row = table->newRow();
            EncodeField(row, table->fields()[0], std::string(name));
            EncodeField(row, table->fields()[1], ++n);
            table->appendRow(row);
        }
        CloseTableFile(table);
    }

    std::string surnameOf(TableFile& table, std::uint32_t rowNumber)
    {
        RowBuffer row;
        table.loadRow(rowNumber, row);
        return std::get<std::string>(DecodeField(row, table.fields()[0]));
    }

    testing::TempDir m_dir;
    std::vector<std::string> m_notices;
};

TEST_F(DbfTableTest, EmptyTableHasTheExactHeader)
{
    CreateTableFile(path(), smallSchema(), fixedDateOptions());
    const std::string bytes = readAll(path());
    ASSERT_EQ(bytes.size(), kH + 1);
    EXPECT_EQ(bytes.substr(0, 12), std::string("\x03\x7E\x0C\x07\0\0\0\0\x81\0\x1B\0", 12));
    EXPECT_EQ(bytes.substr(12, 20), std::string(20, '\0'));
    EXPECT_EQ(bytes.substr(32, 32), std::string("PRIJM\0\0\0\0\0\0C\0\0\0\0\x0F", 17) + std::string(15, '\0'));
    EXPECT_EQ(bytes.substr(64 + 11, 1), "N");
    EXPECT_EQ(bytes.substr(96 + 11, 7), std::string("F\0\0\0\0\x08\0", 7));
    EXPECT_EQ(bytes.substr(kH - 1), "\x0D\x1A");
}

TEST_F(DbfTableTest, AppendedRowsAreOnDiskAndTheCloseStoresTheHeader)
{
    writeTable({"Novák", "Dvořák"});
    const std::string bytes = readAll(path());
    ASSERT_EQ(bytes.size(), kH + 2 * kR + 1);
    EXPECT_EQ(bytes[4], 2) << "row count";
    EXPECT_EQ(bytes.substr(kH, kR), " Nov\xA0k" + std::string(10, ' ') + "  1" + std::string(8, ' '));
    EXPECT_EQ(bytes.back(), '\x1A');
    auto table = open();
    EXPECT_EQ(table->rowCount(), 2U);
    EXPECT_EQ(surnameOf(*table, 2), "Dvořák");
    EXPECT_TRUE(m_notices.empty());
}

TEST_F(DbfTableTest, BeforeTheHeaderStoreTheFileEndsWithTheLastRecord)
{
    auto table = open();
    RowBuffer row = table->newRow();
    EXPECT_EQ(table->appendRow(row), 1U);
    EXPECT_EQ(fileSize(path()), kH + kR);
    EXPECT_EQ(readAll(path())[4], 0) << "the header keeps the old count until the next store";
    CloseTableFile(table);
    EXPECT_EQ(fileSize(path()), kH + kR + 1);
}

TEST_F(DbfTableTest, RewriteAndDeleteChangeOnlyTheirRecord)
{
    writeTable({"A", "B", "C"});
    auto table = open();
    RowBuffer row;
    table->loadRow(2, row);
    EncodeField(row, table->fields()[0], std::string("Beta"));
    EXPECT_TRUE(table->rewriteRow(row, 2));
    EXPECT_TRUE(table->markRowDeleted(3));
    CloseTableFile(table);
    const std::string bytes = readAll(path());
    EXPECT_EQ(bytes.substr(kH + kR, 5), " Beta");
    EXPECT_EQ(bytes.substr(kH + 2 * kR, 2), "*C");
    EXPECT_EQ(bytes[4], 3) << "a deleted row keeps counting";
    table = open();
    EXPECT_EQ(table->seekVisible(3, 1, row), 0U);
    EXPECT_EQ(table->seekVisible(3, -1, row), 2U);
    EXPECT_THROW(table->loadRow(4, row), TableError);

    // A deleted record is neither deleted again nor brought back by a rewrite.
    EXPECT_FALSE(table->markRowDeleted(3));
    table->loadRow(2, row);
    EXPECT_FALSE(table->rewriteRow(row, 3));
    CloseTableFile(table);
    EXPECT_EQ(readAll(path()), bytes);
}

TEST_F(DbfTableTest, WrongRowCountIsNoticedAndTheFileCountUsed)
{
    writeTable({"A", "B", "C", "D"});
    setByte(path(), dbf::kRowCountOffset, 5);
    auto table = open();
    ASSERT_EQ(m_notices.size(), 1U);
    EXPECT_EQ(m_notices[0], "Invalid Record Count,\rRecordCount in Hdr : 5\rexpected : 4");
    EXPECT_EQ(table->rowCount(), 4U);
    CloseTableFile(table);
    EXPECT_EQ(readAll(path())[4], 4);
}

TEST_F(DbfTableTest, WrongRecordLengthIsNoticedAndCorrectedAtTheNextStore)
{
    writeTable({"A"});
    setByte(path(), dbf::kRecordLengthOffset, 30);
    auto table = open();
    // The row count is checked first, with the record length as stored, so it is noticed too.
    ASSERT_EQ(m_notices.size(), 2U);
    EXPECT_EQ(m_notices[0], "Invalid Record Count,\rRecordCount in Hdr : 1\rexpected : 0");
    EXPECT_EQ(m_notices[1], "Invalid Record Size,\rRecord Size in Hdr : 30\rExpected : 27");
    EXPECT_EQ(table->rowCount(), 1U);
    EXPECT_EQ(table->recordLength(), kR);
    EXPECT_EQ(surnameOf(*table, 1), "A");
    CloseTableFile(table);
    EXPECT_EQ(readAll(path())[dbf::kRecordLengthOffset], static_cast<char>(kR));
}

TEST_F(DbfTableTest, MissingTableIsNotFoundWhenItMayNotBeCreated)
{
    try {
        OpenTableFile(path(), OpenMode::ReadWrite, IfMissing::Fail);
        FAIL();
    } catch (const TableError& error) {
        EXPECT_EQ(error.what(), "Open: Table file not found : " + path());
    }
}

TEST_F(DbfTableTest, LongLayoutVersionsReadTheirDescriptors)
{
    for (const unsigned char version : {0x04, 0x8C, 0x30, 0xF5}) {
        // 68-byte main header, two 48-byte descriptors, terminator; one record.
        std::string bytes(68 + 2 * 48 + 1, '\0');
        bytes[0] = static_cast<char>(version);
        bytes[4] = 1;
        bytes[8] = static_cast<char>(bytes.size());
        bytes[10] = 1 + 4 + 3;
        bytes.replace(68, 9, "LONG_NAME");
        bytes[68 + 32] = 'C';
        bytes[68 + 33] = 4;
        bytes.replace(116, 3, "num");
        bytes[116 + 32] = 'N';
        bytes[116 + 33] = 3;
        bytes.back() = '\x0D';
        testing::writeAll(path(), bytes + " abcd 42\x1A");
        auto table = OpenTableFile(path(), OpenMode::ReadOnly, IfMissing::Fail);
        ASSERT_EQ(table->fields().size(), 2U);
        EXPECT_EQ(table->fields()[0].name, "LONG_NAME");
        EXPECT_EQ(table->fields()[1].name, "NUM");
        RowBuffer row;
        table->loadRow(1, row);
        EXPECT_EQ(DecodeField(row, table->fields()[1]), FieldValue(std::int64_t {42}));
    }
}

// Written by GDAL's ogr2ogr from a CSV file (PRIJM String, POCET Integer(3), PRUMER Real(8.2)), code page
// 852: our engine must read it, and encoding what it read must give back GDAL's bytes exactly.
TEST_F(DbfTableTest, TableWrittenByAnotherProgramReadsAndReencodesByteForByte)
{
    auto table = OpenTableFile(TESTDATA_DIR "/three_rows_cp852_gdal.dbf", OpenMode::ReadOnly, IfMissing::Fail, {},
                               fixedDateOptions());
    ASSERT_EQ(table->rowCount(), 3U);
    const auto& fields = table->fields();
    ASSERT_EQ(fields.size(), 3U);
    EXPECT_EQ(fields[1].kind, FieldKind::Int16);
    EXPECT_EQ(fields[2].kind, FieldKind::Float);
    const FieldValue expected[3][3] = {
        {std::string("Příliš žluťoučký"), std::int64_t {-12}, -312.25},
        {std::string("Smazaná"), std::int64_t {1}, 1.0},
        {std::string("Ďáblová"), std::int64_t {999}, 0.5},
    };
    for (std::uint32_t n = 1; n <= 3; ++n) {
        RowBuffer row;
        table->loadRow(n, row);
        RowBuffer again = table->newRow();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(DecodeField(row, fields[i]), expected[n - 1][i]) << "row " << n << " field " << i;
            EncodeField(again, fields[i], DecodeField(row, fields[i]));
        }
        EXPECT_EQ(again, row) << "row " << n;
    }
}

TEST_F(DbfTableTest, OneOpenObjectPerFileWhateverThePathSpelling)
{
    writeTable({"A"});
#ifdef _WIN32
    const std::string otherName = m_dir.path("TABLE.DBF"); // the file system ignores letter case
#else
    const std::string otherName = m_dir.path("link.dbf");
    ASSERT_EQ(::symlink(path().c_str(), otherName.c_str()), 0);
#endif
    auto first = open();
    std::filesystem::create_directory(m_dir.path("sub"));
    auto second = OpenTableFile(m_dir.dir() + "sub/..//./table.dbf", OpenMode::ReadWrite, IfMissing::Fail);
    auto third = OpenTableFile(otherName, OpenMode::ReadWrite, IfMissing::Fail);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, third);
    std::weak_ptr<TableFile> watch = first;
    CloseTableFile(first);
    CloseTableFile(second);
    EXPECT_FALSE(watch.expired());
    CloseTableFile(third);
    EXPECT_TRUE(watch.expired()) << "the last user closes the file";
}

TEST_F(DbfTableTest, HeaderStoreCountsRowsAnotherStationAppended)
{
    writeTable({"A"});
    auto table = open();
    {
        // Another station appends a row while this one holds the table open with a count of 1.
        auto other = base::openFile(path(), base::OpenMode::ReadWrite);
        std::string record = " Other" + std::string(kR - 6, ' ');
        other->writeAt(kH + kR, record.data(), record.size());
    }
    EXPECT_EQ(table->rowCount(), 1U);
    CloseTableFile(table);
    const std::string bytes = readAll(path());
    EXPECT_EQ(bytes[4], 2);
    EXPECT_EQ(bytes.substr(kH + kR, 6), " Other") << "the end marker must not hide the other row";
    EXPECT_EQ(bytes.size(), kH + 2 * kR + 1);
}

TEST_F(DbfTableTest, AppendGoesBehindRowsAnotherStationAppended)
{
    writeTable({"A"});
    auto table = open();
    {
        auto other = base::openFile(path(), base::OpenMode::ReadWrite);
        std::string record = " Other" + std::string(kR - 6, ' ') + "\x1A";
        other->writeAt(kH + kR, record.data(), record.size());
    }
    RowBuffer row = table->newRow();
    EncodeField(row, table->fields()[0], std::string("Mine"));
    EXPECT_EQ(table->appendRow(row), 3U);
    EXPECT_EQ(surnameOf(*table, 2), "Other");
    EXPECT_EQ(surnameOf(*table, 3), "Mine");
}

TEST_F(DbfTableTest, CreateIfMissingNeverEmptiesAnExistingTable)
{
    writeTable({"A", "B"});
    const std::string before = readAll(path());
    EXPECT_FALSE(CreateTableFileIfMissing(path(), smallSchema(), fixedDateOptions()));
    EXPECT_EQ(readAll(path()), before);
    EXPECT_TRUE(CreateTableFileIfMissing(m_dir.path("new.dbf"), smallSchema(), fixedDateOptions()));
    EXPECT_EQ(fileSize(m_dir.path("new.dbf")), kH + 1);
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.dir())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string> {"new.dbf", "table.dbf"})) << "no temporary file is left";
}

TEST_F(DbfTableTest, FolderAndFileNamesWithCzechLetters)
{
    // Paths are UTF-8 inside the program; on Windows they must reach the system as the same letters, not
    // through the ANSI code page.
    const std::string folder = "Výsledky čtvrtek";
    std::filesystem::create_directory(std::filesystem::u8path(m_dir.path(folder)));
    const std::string table = m_dir.path(folder) + base::pathSeparator() + "Měření.dbf";
    EXPECT_TRUE(CreateTableFileIfMissing(table, smallSchema(), fixedDateOptions()));
    auto file = OpenTableFile(table, OpenMode::ReadWrite, IfMissing::Fail, {}, fixedDateOptions());
    RowBuffer row = file->newRow();
    EncodeField(row, file->fields()[0], std::string("Řehoř"));
    file->appendRow(row);
    CloseTableFile(file);
    EXPECT_TRUE(base::fileIdentity(table).has_value());

    std::set<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_dir.dir())) {
        names.insert(entry.path().filename().u8string());
    }
    EXPECT_EQ(names, (std::set<std::string> {folder, "Měření.dbf"}));
    file = OpenTableFile(table, OpenMode::ReadOnly, IfMissing::Fail);
    EXPECT_EQ(surnameOf(*file, 1), "Řehoř");
}

TEST_F(DbfTableTest, ExplicitCreateEmptiesButNotWhileOpen)
{
    writeTable({"A"});
    auto table = open();
    EXPECT_THROW(CreateTableFile(path(), smallSchema()), TableError);
    CloseTableFile(table);
    CreateTableFile(path(), smallSchema(), fixedDateOptions());
    EXPECT_EQ(fileSize(path()), kH + 1);
}

TEST_F(DbfTableTest, FailedAppendIsReportedAndLeavesTheFileAsItWas)
{
    writeTable({"A"});
    const std::string before = readAll(path());
    auto file = std::make_unique<testing::FailingFile>(base::openFile(path(), base::OpenMode::ReadWrite), 10);
    TableFile table(std::move(file), true, fixedDateOptions(), false);
    RowBuffer row = table.newRow();
    try {
        table.appendRow(row);
        FAIL() << "a short write must not pass";
    } catch (const FileError& error) {
        EXPECT_EQ(error.what(), "Cannot write file " + path() + ": No space left on device");
    }
    EXPECT_EQ(table.rowCount(), 1U);
    EXPECT_EQ(readAll(path()), before);
}

#ifndef _WIN32
// A size limit for one process exists on POSIX systems only.
TEST_F(DbfTableTest, FileSizeLimitMakesTheAppendFailWithTheSystemReason)
{
    writeTable({"A"});
    const std::uint64_t before = fileSize(path());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit {static_cast<rlim_t>(before + 5), static_cast<rlim_t>(before + 5)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int code = 1;
        try {
            auto table = OpenTableFile(path(), OpenMode::ReadWrite, IfMissing::Fail);
            RowBuffer row = table->newRow();
            table->appendRow(row);
        } catch (const FileError& error) {
            code = std::string(error.what()).find("File too large") != std::string::npos ? 0 : 2;
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(fileSize(path()), before);
}
#endif

} // namespace
} // namespace storage
