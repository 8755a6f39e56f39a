// Results tables damaged the ways examiners' files get damaged: cut off in the middle of a record by a
// crash or a full disk, a header whose row count was never brought up to date, a record length that
// disagrees with the fields (another program wrote the header). The browser shows the whole rows with
// the notice, the next stored result goes behind them, and the table is consistent from then on.
#include "reliability/stored_rows.h"
#include "results/results_table.h"
#include "storage/dbf_format.h"
#include "storage/test_support.h"

#include <gtest/gtest.h>

namespace reliability {
namespace {

using storage::testing::fileSize;
using storage::testing::writeAll;

class DamagedTableTest : public ::testing::Test
{
protected:
    DamagedTableTest() { configureStation(m_station, m_dir.dir()); }

    std::string path() const { return m_dir.path(results::kResultsTableName); }

    // The closed results table with results 1..rows of station 0.
    void storeRows(int rows)
    {
        for (int n = 1; n <= rows; ++n) {
            results::ulo_do_DBF(m_station, resultFor(0, n));
        }
    }
    void putLe(std::size_t offset, std::size_t size, std::uint32_t value)
    {
        for (std::size_t i = 0; i < size; ++i) {
            storage::testing::setByte(path(), offset + i, static_cast<unsigned char>(value >> (8 * i)));
        }
    }

    // Opens the table as the results browser does, collecting notices; returns the visible rows.
    std::vector<storage::VisibleRow> browse()
    {
        storage::Dataset browser;
        configureStation(browser, m_dir.dir());
        browser.setNoticeHandler([this](const std::string& text) { m_notices.push_back(text); });
        results::openResultsTable(browser);
        auto rows = browser.rowsAround(0, 100);
        browser.close();
        return rows;
    }

    // After the next stored result the table holds results 1..rows, is exactly as long as they are,
    // opens without a notice and reads the same in dbfread.
    void expectConsistentAfterTheNextStore(int rows)
    {
        results::ulo_do_DBF(m_station, resultFor(0, rows));
        const ReadTable table = readTable(path());
        EXPECT_TRUE(table.notices.empty());
        EXPECT_EQ(table.headerRowCount, static_cast<std::uint32_t>(rows));
        ASSERT_EQ(table.rows.size(), static_cast<std::size_t>(rows));
        for (int n = 1; n <= rows; ++n) {
            EXPECT_EQ(table.rows[static_cast<std::size_t>(n - 1)].values, valuesFor(0, n)) << "row " << n;
        }
        EXPECT_EQ(fileSize(path()), kHeaderLength + kRecordLength * static_cast<std::size_t>(rows) + 1);
        EXPECT_EQ(wholeFile(path()).substr(storage::dbf::kRecordLengthOffset, 2), "\x5A\x08");
        int status = 0;
        const auto lines = readWithDbfread(path(), status);
        EXPECT_EQ(status, 0);
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(rows + 1));
        EXPECT_EQ(lines.back(), dbfreadLineFor(0, rows));
    }

    storage::testing::TempDir m_dir;
    storage::Dataset m_station;
    std::vector<std::string> m_notices;
};

TEST_F(DamagedTableTest, TableCutInTheMiddleOfARecordShowsTheWholeRowsAndTheNextStoreReplacesTheCut)
{
    storeRows(3);
    const std::string bytes = wholeFile(path());
    writeAll(path(), bytes.substr(0, kHeaderLength + 2 * kRecordLength + 1000));

    const auto rows = browse();
    EXPECT_EQ(m_notices, std::vector<std::string> {rowCountNotice(3, 2)});
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[1].values, valuesFor(0, 2));
    expectConsistentAfterTheNextStore(3);
}

// Header counts a crash (fewer), a deleted file tail (more) or another program (anything) left behind.
class WrongRowCountTest : public DamagedTableTest, public ::testing::WithParamInterface<std::uint32_t>
{ };

TEST_P(WrongRowCountTest, RowsInTheFileCountAndTheNextStoreCorrectsTheHeader)
{
    storeRows(4);
    putLe(storage::dbf::kRowCountOffset, 4, GetParam());
    ASSERT_EQ(browse().size(), 4U);
    EXPECT_EQ(m_notices, std::vector<std::string> {rowCountNotice(GetParam(), 4)});
    expectConsistentAfterTheNextStore(5);
}

INSTANTIATE_TEST_SUITE_P(Counts, WrongRowCountTest, ::testing::Values(0U, 3U, 5U, 0xFFFFFFFFU));

// Record lengths in the header that disagree with the 2138 bytes the fields take.
class WrongRecordLengthTest : public DamagedTableTest, public ::testing::WithParamInterface<std::uint32_t>
{ };

TEST_P(WrongRecordLengthTest, FieldsDecideTheLengthAndTheNextStoreCorrectsTheHeader)
{
    storeRows(2);
    putLe(storage::dbf::kRecordLengthOffset, 2, GetParam());
    const auto rows = browse();
    ASSERT_EQ(rows.size(), 2U);
    EXPECT_EQ(rows[1].values, valuesFor(0, 2));
    // The row count is checked first, with the record length as stored.
    const std::uint64_t records = GetParam() == 0 ? 0 : (fileSize(path()) - kHeaderLength) / GetParam();
    const std::string sizeNotice
        = "Invalid Record Size,\rRecord Size in Hdr : " + std::to_string(GetParam()) + "\rExpected : 2138";
    if (records == 2) {
        EXPECT_EQ(m_notices, std::vector<std::string> {sizeNotice});
    } else {
        EXPECT_EQ(m_notices,
                  (std::vector<std::string> {rowCountNotice(2, static_cast<std::uint32_t>(records)), sizeNotice}));
    }
    expectConsistentAfterTheNextStore(3);
}

INSTANTIATE_TEST_SUITE_P(Lengths, WrongRecordLengthTest, ::testing::Values(0U, 1U, 2000U, 2137U, 2139U, 65535U));

} // namespace
} // namespace reliability
