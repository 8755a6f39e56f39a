// Tables the station refuses to write: files whose fields are not the results table's, and tables that
// could not take a row now, refused before a test starts.
#include "results/results_table.h"
#include "results/test_support.h"
#include "storage/errors.h"
#include "storage/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#ifdef __linux__
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace results {
namespace {

using storage::testing::readAll;

constexpr std::size_t kH = 833;
constexpr std::size_t kR = 2138;

class RefusedTableTest : public ::testing::Test
{
protected:
    RefusedTableTest()
    {
        m_table.setDirectory(m_dir.dir());
        m_state.seriesCount = {2, 0, 0, 0};
        m_state.seriesMean = {312.5, 0.0, 0.0, 0.0};
        m_subject.surname = "Dvořák";
    }

    std::string path() const { return m_dir.path(kResultsTableName); }

    storage::testing::TempDir m_dir;
    storage::Dataset m_table;
    Identity m_subject;
    engine::MeasurementState m_state;
};

// The results table as the station writes it, with `rows` stored rows and the header's row count left
// stale (as a crash leaves it), so that a file the checks let through would get the row-count notice.
std::string storedTable(const std::string& directory, int rows)
{
    storage::Dataset table;
    table.setDirectory(directory);
    Identity subject;
    subject.surname = "Novák";
    for (int n = 0; n < rows; ++n) {
        ulo_do_DBF(table, makeResultRecord(engine::MeasurementState {}, subject));
    }
    const std::string path = directory + kResultsTableName;
    storage::testing::setByte(path, 4, 9);
    return readAll(path);
}

std::string withDescriptorByte(std::string bytes, std::size_t field, std::size_t offset, char value)
{
    bytes[32 + 32 * (field - 1) + offset] = value;
    return bytes;
}

// A table under the results table's name whose fields are not the results table's.
struct OtherFields
{
    const char* name;
    std::string (*bytes)(const std::string& table, const storage::testing::TempDir& dir);
    std::string why;
};

std::ostream& operator<<(std::ostream& out, const OtherFields& table)
{
    return out << table.name;
}

class OtherFieldsTest : public RefusedTableTest, public ::testing::WithParamInterface<OtherFields>
{ };

// Neither the start-up step, nor a store, nor the close at exit writes into such a file, and no notice
// about its header is given.
TEST_P(OtherFieldsTest, AreRefusedAndNeverWritten)
{
    const std::string bytes = GetParam().bytes(storedTable(m_dir.dir(), 2), m_dir);
    storage::testing::writeAll(path(), bytes);
    std::vector<std::string> notices;
    m_table.setNoticeHandler([&](const std::string& notice) { notices.push_back(notice); });
    const std::string expected = "Cannot open file " + path() + ": it is not a results table (" + GetParam().why + ")";
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            attempt == 0 ? openResultsTable(m_table) : void(ulo_do_DBF(m_table, makeResultRecord(m_state, m_subject)));
            ADD_FAILURE() << "opened";
        } catch (const storage::TableError& error) {
            EXPECT_EQ(error.what(), expected);
        }
        EXPECT_FALSE(m_table.isOpen());
    }
    m_table.close();
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(readAll(path()), bytes);
}

INSTANTIATE_TEST_SUITE_P(Tables, OtherFieldsTest,
                         ::testing::Values(OtherFields {"SmallTable",
                                                        [](const std::string&, const storage::testing::TempDir& dir) {
                                                            storage::CreateTableFile(dir.path("small.dbf"),
                                                                                     storage::testing::smallSchema());
                                                            return readAll(dir.path("small.dbf"));
                                                        },
                                                        "it has 3 fields, the results table 25"},
                                           OtherFields {"RenamedField",
                                                        [](const std::string& image, const storage::testing::TempDir&) {
                                                            return withDescriptorByte(image, 3, 3, 'X');
                                                        },
                                                        "field 3 is RC_X C 6, expected RC_1 C 6"},
                                           OtherFields {"OtherType",
                                                        [](const std::string& image, const storage::testing::TempDir&) {
                                                            return withDescriptorByte(image, 6, 11, 'C');
                                                        },
                                                        "field 6 is POC_1SER C 3, expected POC_1SER N 3"},
                                           OtherFields {"OtherWidth",
                                                        [](const std::string& image, const storage::testing::TempDir&) {
                                                            return withDescriptorByte(image, 1, 16, 20);
                                                        },
                                                        "field 1 is PRIJM C 20, expected PRIJM C 15"},
                                           OtherFields {"CountWithDecimals",
                                                        [](const std::string& image, const storage::testing::TempDir&) {
                                                            return withDescriptorByte(image, 14, 17, 1);
                                                        },
                                                        "field 14 is POC_PRED1 N 3.1, expected POC_PRED1 N 3"},
                                           OtherFields {"SwappedFields",
                                                        [](const std::string& image, const storage::testing::TempDir&) {
                                                            return image.substr(0, 32) + image.substr(64, 32)
                                                                + image.substr(32, 32) + image.substr(96);
                                                        },
                                                        "field 1 is JMENO C 12, expected PRIJM C 15"}),
                         storage::testing::CaseName());

// A column another program added behind the results table's fields keeps the table usable: the row is
// stored, the added field left empty.
TEST_F(RefusedTableTest, FieldsBehindTheResultsTablesAreAllowed)
{
    std::vector<storage::TableFieldDef> fields = resultTableFields();
    fields.push_back({"POZNAMKA", 'C', 20});
    storage::CreateTableFile(path(), fields, storage::testing::fixedDateOptions());
    EXPECT_FALSE(checkResultsTableWritable(m_table));
    EXPECT_EQ(ulo_do_DBF(m_table, makeResultRecord(m_state, m_subject)), 1U);
    const std::string bytes = readAll(path());
    EXPECT_EQ(bytes.size(), kH + 32 + kR + 20 + 1);
    EXPECT_EQ(bytes.substr(bytes.size() - 21), std::string(20, ' ') + "\x1A");
}

// Why a table could not take a row now; `make` puts the cause under the table's name.
struct Unwritable
{
    const char* name;
    void (*make)(const std::string& path);
    std::string reason; // after "Cannot open file <path>: "
};

std::ostream& operator<<(std::ostream& out, const Unwritable& cause)
{
    return out << cause.name;
}

class UnwritableTableTest : public RefusedTableTest, public ::testing::WithParamInterface<Unwritable>
{ };

// Refused before a test starts with the examiner's message naming the file and the reason. The table
// object is left closed, and removing the cause lets the check pass (a missing table is created).
TEST_P(UnwritableTableTest, IsRefusedBeforeTheTestUntilTheCauseIsGone)
{
    GetParam().make(path());
    EXPECT_EQ(checkResultsTableWritable(m_table),
              "Chybná tabulka výsledků  !!  soubor „" + path() + "“ nelze zapsat (Cannot open file " + path() + ": "
                  + GetParam().reason + ")");
    EXPECT_FALSE(m_table.isOpen());
    std::filesystem::remove(path());
    EXPECT_FALSE(checkResultsTableWritable(m_table));
    EXPECT_EQ(readAll(path()).size(), kH + 1);
}

const Unwritable kUnwritable[] = {
    Unwritable {"Directory", [](const std::string& p) { std::filesystem::create_directory(p); },
                "it is a directory, not a file"},
#ifndef _WIN32
    Unwritable {"NamedPipe", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, "it is a named pipe, not a file"},
    Unwritable {"LinkToTheNullDevice", [](const std::string& p) { std::filesystem::create_symlink("/dev/null", p); },
                "it is a device, not a file"},
#endif
    Unwritable {"Text", [](const std::string& p) { storage::testing::writeAll(p, "Novák 312 298\n"); },
                "it is not a table (it begins with the byte 0x4E, no table's version byte)"},
    Unwritable {"Empty", [](const std::string& p) { storage::testing::writeAll(p, ""); },
                "the file is empty, it holds no table"},
    Unwritable {"HeaderLengthOffByOne",
                [](const std::string& p) {
                    storage::testing::writeAll(p,
                                               storedTable(std::filesystem::path(p).parent_path().string() + "/", 3));
                    storage::testing::setByte(p, 8, 0x42);
                },
                "damaged table: the header length is 834 bytes, its 25 field descriptors and their "
                "terminator take 833"}};

INSTANTIATE_TEST_SUITE_P(Causes, UnwritableTableTest, ::testing::ValuesIn(kUnwritable), storage::testing::CaseName());

#ifdef __linux__
// Sets or clears the immutable flag of `path`, which stops writes by everyone, the administrator
// included; false where the file system or the process cannot.
bool setImmutable(const std::string& path, bool immutable)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return done;
}

TEST_F(RefusedTableTest, ImmutableTableIsRefusedBeforeTheTest)
{
    const std::string bytes = storedTable(m_dir.dir(), 1);
    if (!setImmutable(path(), true)) {
        GTEST_SKIP() << "the immutable flag cannot be set here";
    }
    const auto fault = checkResultsTableWritable(m_table);
    setImmutable(path(), false);
    EXPECT_EQ(fault,
              "Chybná tabulka výsledků  !!  soubor „" + path() + "“ nelze zapsat (Cannot open file " + path()
                  + ": Operation not permitted)");
    EXPECT_FALSE(checkResultsTableWritable(m_table));
    EXPECT_EQ(readAll(path()), bytes);
}
#endif

// A sound table passes without being written, also while the browser holds it open.
TEST_F(RefusedTableTest, SoundTableIsCheckedWithoutBeingWritten)
{
    const std::string bytes = storedTable(m_dir.dir(), 1);
    EXPECT_FALSE(checkResultsTableWritable(m_table));
    openResultsTable(m_table);
    EXPECT_FALSE(checkResultsTableWritable(m_table));
    EXPECT_TRUE(m_table.isOpen());
    EXPECT_EQ(readAll(path()), bytes);

#ifndef _WIN32
    // Removed while the browser holds it open (the cause of a refusal cleared by removing the file): the
    // open file is let go, and the row goes into the table that is under the name now. (Windows does not
    // remove a file that is open.)
    std::filesystem::remove(path());
    EXPECT_FALSE(checkResultsTableWritable(m_table));
    EXPECT_FALSE(m_table.isOpen());
    EXPECT_EQ(ulo_do_DBF(m_table, makeResultRecord(m_state, m_subject)), 1U);
    EXPECT_EQ(readAll(path()).size(), kH + kR + 1);
#endif
}

} // namespace
} // namespace results
