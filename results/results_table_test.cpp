#include "results/results_table.h"
#include "results/test_support.h"
#include "results/timing_record.h"
#include "storage/errors.h"
#include "storage/test_support.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace results {
namespace {

using storage::testing::readAll;

constexpr std::size_t kH = 833;
constexpr std::size_t kR = 2138;

class ResultsTableTest : public ::testing::Test
{
protected:
    ResultsTableTest()
    {
        m_table.setDirectory(m_dir.dir());
        m_table.setDateSource(storage::testing::fixedDate);
        m_subject = {"Dvořák", "Příliš žluť", " 12345", "12  ", " 7.12.2026"};
        m_state.seriesCount = {20, 20, 0, 0};
        m_state.seriesMean = {312.5, 298.49, 0.0, 0.0};
        m_state.prematureSum = {1, 0, 0, 0};
        m_state.seriesTextA[0] = "312|298|";
        m_state.seriesTextB[1] = std::string(255, '9');
    }

    std::string path() const { return m_dir.path(kResultsTableName); }
    std::string field(const std::string& bytes, std::size_t row, std::size_t offset, std::size_t width) const
    {
        return bytes.substr(kH + (row - 1) * kR + offset, width);
    }

    storage::testing::TempDir m_dir;
    storage::Dataset m_table;
    Identity m_subject;
    engine::MeasurementState m_state;
};

TEST_F(ResultsTableTest, EmptyTableIsTheExact834Bytes)
{
    EXPECT_TRUE(createResultsTableIfMissing(m_dir.dir(), storage::testing::fixedDateOptions()));
    const std::string bytes = readAll(path());
    ASSERT_EQ(bytes.size(), 834U);
    EXPECT_EQ(bytes.substr(0, 32), std::string("\x03\x7E\x0C\x07\0\0\0\0\x41\x03\x5A\x08", 12) + std::string(20, '\0'));
    EXPECT_EQ(bytes.substr(32, 32), std::string("PRIJM\0\0\0\0\0\0\x43\0\0\0\0\x0F", 17) + std::string(15, '\0'));
    EXPECT_EQ(bytes.substr(800, 17), std::string("SER4B\0\0\0\0\0\0C\0\0\0\0\xFE", 17));
    EXPECT_EQ(bytes.substr(832), "\x0D\x1A");
    EXPECT_FALSE(createResultsTableIfMissing(m_dir.dir())) << "an existing table is left alone";
}

TEST_F(ResultsTableTest, OneStoredResultMakesThe2972ByteFile)
{
    EXPECT_EQ(ulo_do_DBF(m_table, makeResultRecord(m_state, m_subject)), 1U) << "the stored row's number";
    EXPECT_FALSE(m_table.isOpen());
    const std::string bytes = readAll(path());
    ASSERT_EQ(bytes.size(), 2972U);
    EXPECT_EQ(bytes[4], 1);
    EXPECT_EQ(bytes[2971], '\x1A');
    EXPECT_EQ(field(bytes, 1, 0, 1), " ");
    EXPECT_EQ(field(bytes, 1, 1, 15), "Dvo\xFD\xA0k         ");
    EXPECT_EQ(field(bytes, 1, 16, 12), "P\xFD\xA1li\xE7 \xA7lu\x9C ");
    EXPECT_EQ(field(bytes, 1, 28, 10), " 1234512  ");
    EXPECT_EQ(field(bytes, 1, 38, 12), " 7.12.2026  ");
    EXPECT_EQ(field(bytes, 1, 50, 12), " 20 20  0  0");
    EXPECT_EQ(field(bytes, 1, 62, 32), "     313     298       0       0");
    EXPECT_EQ(field(bytes, 1, 94, 12), "  1  0  0  0");
    EXPECT_EQ(field(bytes, 1, 106, 254), "312|298|" + std::string(246, ' '));
    EXPECT_EQ(field(bytes, 1, 868, 254), std::string(254, '9')) << "list B is cut to the width";
    EXPECT_EQ(field(bytes, 1, 1122, 1016), std::string(1016, ' ')) << "series 3 and 4 lists are empty";
}

TEST_F(ResultsTableTest, FieldsAreAssignedInSchemaOrder)
{
    std::vector<std::size_t> filled;
    m_table.addListener([&](storage::DatasetEvent event) {
        if (event == storage::DatasetEvent::DataChanged) {
            const auto values = m_table.values();
            std::size_t count = 0;
            while (count < values.size() && !storage::isNull(values[count])) {
                ++count;
            }
            filled.push_back(count);
        }
    });
    m_subject = {"A", "B", "111111", "2222", "01.01.2026"};
    m_state.seriesTextA = {"1|", "2|", "3|", "4|"};
    m_state.seriesTextB = {"5|", "6|", "7|", "8|"};
    ulo_do_DBF(m_table, makeResultRecord(m_state, m_subject));
    std::vector<std::size_t> expected;
    for (std::size_t i = 1; i <= kResultFieldCount; ++i) {
        expected.push_back(i);
    }
    EXPECT_EQ(filled, expected);
}

TEST_F(ResultsTableTest, FailedStoreCancelsItsRowAndARetryAppendsOneRow)
{
    ulo_do_DBF(m_table, makeResultRecord(m_state, m_subject));
    // A row whose count the table refuses (as a row made without the capping would be).
    ResultRecord refused = makeResultRecord(m_state, m_subject);
    refused.values[5] = std::int64_t {40000};
    try {
        ulo_do_DBF(m_table, refused);
        FAIL();
    } catch (const storage::FieldValueError& error) {
        EXPECT_STREQ(error.what(),
                     "40000 is not a valid value for field 'POC_1SER'. The allowed range is -32768 to 32767");
    }
    EXPECT_TRUE(m_table.isOpen()) << "the close is never reached";
    EXPECT_EQ(m_table.state(), storage::DatasetState::Browse);
    m_table.last();
    m_table.first();
    EXPECT_EQ(m_table.rowCount(), 1U) << "no half-filled row was written by navigation";
    refused.values[5] = std::int64_t {1000};
    EXPECT_THROW(
        {
            try {
                ulo_do_DBF(m_table, refused);
            } catch (const storage::FieldValueError& error) {
                EXPECT_STREQ(error.what(), "Field data too long :4 (must be between 1 and 3).");
                throw;
            }
        },
        storage::FieldValueError);
    ulo_do_DBF(m_table, makeResultRecord(m_state, m_subject));
    EXPECT_EQ(readAll(path()).size(), 834U + 2 * kR);
}

// A held Enter auto-repeats through a long foreperiod: 1,000 premature responses in one series, or a
// count line of 1,000. The row is stored all the same, each such count as the most its field holds,
// and the examiner is told which field was capped and its true value. Nothing else changes.
TEST_F(ResultsTableTest, CountsTooWideForTheirFieldAreCappedAndReported)
{
    std::vector<std::string> notices;
    m_table.setNoticeHandler([&](const std::string& notice) { notices.push_back(notice); });
    const ResultRecord plain = makeResultRecord(m_state, m_subject);
    m_state.prematureSum = {1000, 999, -99, -100};
    m_state.seriesCount = {20, 1234, -32768, 0};
    const ResultRecord record = makeResultRecord(m_state, m_subject);
    ulo_do_DBF(m_table, record);
    const std::string bytes = readAll(path());
    ASSERT_EQ(bytes.size(), 834U + kR);
    EXPECT_EQ(field(bytes, 1, 50, 12), " 20999-99  0");
    EXPECT_EQ(field(bytes, 1, 94, 12), "999999-99-99");
    EXPECT_EQ(notices,
              (std::vector<std::string> {"Hodnota 1234 se nevejde do pole POC_2SER: uloženo 999",
                                         "Hodnota -32768 se nevejde do pole POC_3SER: uloženo -99",
                                         "Hodnota 1000 se nevejde do pole POC_PRED1: uloženo 999",
                                         "Hodnota -100 se nevejde do pole POC_PRED4: uloženo -99"}));
    for (const std::size_t i : {0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 17, 18, 19, 20, 21, 22, 23, 24}) {
        EXPECT_EQ(record.values[i], plain.values[i]) << "field " << i;
    }
    EXPECT_TRUE(plain.capped.empty());
}

TEST_F(ResultsTableTest, StoringSettlesTheBrowsersPendingRowFirst)
{
    ulo_do_DBF(m_table, makeResultRecord(m_state, m_subject));
    openResultsTable(m_table);
    m_table.setValue(0, std::string("Edited"));
    makeResultStore(m_table, [this] { return m_subject; })(m_state);
    const std::string bytes = readAll(path());
    ASSERT_EQ(bytes.size(), 834U + 2 * kR);
    EXPECT_EQ(field(bytes, 1, 1, 6), "Edited");
    EXPECT_EQ(field(bytes, 2, 1, 6), "Dvo\xFD\xA0k");
}

TEST_F(ResultsTableTest, TheStoreAppendsTheTimingRecordAndReportsItsFailureAfterTheRow)
{
    std::vector<std::string> notices;
    m_table.setNoticeHandler([&](const std::string& notice) { notices.push_back(notice); });
    engine::TrialTiming& trial = m_state.timing[4];
    trial.answered = true;
    trial.onset = {7000000, engine::FrameSource::Server};
    trial.response = {7312000, engine::ResponseSource::Event, engine::InputKind::Key};
    m_state.reactionTime[4] = 312;
    const auto store = makeResultStore(m_table, [this] { return m_subject; });
    store(m_state);
    store(m_state);
    const std::string record = readAll(timingRecordPath(path()));
    EXPECT_NE(record.find(",1,4,practice,"), std::string::npos) << record;
    EXPECT_NE(record.find(",2,4,practice,"), std::string::npos) << "the second row's number";
    EXPECT_TRUE(notices.empty());

    // A folder where the record's name is taken: the row is stored all the same, and the failure is a
    // notice after it.
    std::filesystem::remove(timingRecordPath(path()));
    std::filesystem::create_directory(timingRecordPath(path()));
    EXPECT_NO_THROW(store(m_state));
    EXPECT_EQ(readAll(path()).size(), 834U + 3 * kR);
    ASSERT_EQ(notices.size(), 1U);
    EXPECT_EQ(notices[0].rfind(messages::kTimingRecordFailed, 0), 0U) << notices[0];
}

TEST_F(ResultsTableTest, PokusBeforeAnyTestStoresEmptyIdentityAndZeros)
{
    ulo_do_DBF(m_table, makeResultRecord(engine::MeasurementState {}, Identity {}));
    const std::string bytes = readAll(path());
    EXPECT_EQ(field(bytes, 1, 1, 49), std::string(49, ' '));
    EXPECT_EQ(field(bytes, 1, 50, 12), "  0  0  0  0");
    EXPECT_EQ(field(bytes, 1, 62, 32), "       0       0       0       0");
}

} // namespace
} // namespace results
