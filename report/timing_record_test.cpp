#include "report/report_error.h"
#include "report/timing_record.h"
#include "storage/test_support.h"

#include <gtest/gtest.h>

namespace report {
namespace {

using storage::testing::TempDir;

const std::string kHeader = "test_time,table_row,line,block,series,foreperiod_programmed_ms,foreperiod_measured_us,"
                            "onset_us,response_us,rt_us,rt_stored_ms,premature,input,response_stamp,onset_stamp\r\n";

// One line of the record: a measured trial of `series` (0: outside the series, or practice).
std::string line(const char* time, int row, int index, const char* block, int series, long rtUs, int storedMs)
{
    return std::string(time) + "," + std::to_string(row) + "," + std::to_string(index) + "," + block + ","
        + (series ? std::to_string(series) : "") + ",2000,2000480,100,200," + std::to_string(rtUs) + ","
        + std::to_string(storedMs) + ",1,key,event,server\r\n";
}

std::array<StoredTimes, kSeriesCount> stored(std::vector<std::uint32_t> first, std::vector<std::uint32_t> second = {})
{
    std::array<StoredTimes, kSeriesCount> times;
    times[0] = {true, false, std::move(first)};
    times[1] = {true, false, std::move(second)};
    times[2] = {true, false, {}};
    times[3] = {true, false, {}};
    return times;
}

class TimingRecordTest : public ::testing::Test
{
protected:
    std::unique_ptr<TimingRecord> write(const std::string& content)
    {
        storage::testing::writeAll(m_dir.path("tivora4_timing.csv"), content);
        return TimingRecord::openBeside(m_dir.path("tivora4.DBF"));
    }

    TempDir m_dir;
};

TEST_F(TimingRecordTest, NamedAfterTheTableBesideIt)
{
    EXPECT_EQ(TimingRecord::pathBeside("/lab/data/tivora4.DBF"), "/lab/data/tivora4_timing.csv");
    EXPECT_EQ(TimingRecord::pathBeside("C:\\lab.v2\\results"), "C:\\lab.v2\\results_timing.csv");
    EXPECT_FALSE(TimingRecord::openBeside(m_dir.path("tivora4.DBF")));
}

TEST_F(TimingRecordTest, MatchingTestGivesItsMeasuredTrialsSeriesBySeries)
{
    const char* t = "2026-12-08T14:03:12+01:00";
    const auto record = write(kHeader + line(t, 3, 0, "practice", 0, 410200, 410)
                              + line(t, 3, 4, "measured", 1, 312400, 312) + line(t, 3, 5, "measured", 1, 298999, 299)
                              + line(t, 3, 6, "measured", 2, 305001, 305) + line(t, 3, 7, "measured", 0, 280000, 280));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->testCount(), 1U);
    const auto trials = record->match(3, stored({312, 299}, {305}));
    ASSERT_TRUE(trials);
    ASSERT_EQ((*trials)[0].size(), 2U);
    EXPECT_EQ((*trials)[0][1].rtUs, 298999);
    EXPECT_EQ((*trials)[0][1].line, "5");
    EXPECT_EQ((*trials)[0][1].input, "key");
    EXPECT_EQ((*trials)[1][0].rtUs, 305001);
    EXPECT_TRUE((*trials)[2].empty());
}

TEST_F(TimingRecordTest, TestIsUsedOnlyWhenItsStoredTimesAreTheRows)
{
    const char* t = "2026-12-08T14:03:12+01:00";
    const auto record
        = write(kHeader + line(t, 3, 4, "measured", 1, 312400, 312) + line(t, 3, 5, "measured", 1, 298999, 299));
    EXPECT_FALSE(record->match(3, stored({312, 300})));    // a value differs: another table's row 3
    EXPECT_FALSE(record->match(3, stored({312})));         // a value missing
    EXPECT_FALSE(record->match(3, stored({312, 299, 1}))); // one more
    EXPECT_FALSE(record->match(4, stored({312, 299})));    // no test for that row
    EXPECT_TRUE(record->match(3, stored({312, 299})));
}

TEST_F(TimingRecordTest, RowWithNothingToCompareMatchesNoTest)
{
    // Series 1 of the row could not be decoded and the others are empty: any test of that row number
    // would "match", another person's too.
    const char* t = "2026-12-08T14:03:12+01:00";
    const auto record
        = write(kHeader + line(t, 3, 4, "measured", 1, 312400, 312) + line(t, 3, 5, "measured", 1, 298999, 299));
    auto damaged = stored({}, {});
    damaged[0].valid = false;
    EXPECT_FALSE(record->match(3, damaged));
    EXPECT_FALSE(record->match(3, stored({}, {})));
}

TEST_F(TimingRecordTest, LastMatchingTestWinsAndAnUnfinishedOneIsLeftOut)
{
    const char* first = "2026-12-01T10:00:00+01:00";
    const char* second = "2026-12-08T10:00:00+01:00";
    const std::string unfinished = line("2026-12-09T10:00:00+01:00", 3, 4, "measured", 1, 312900, 312);
    const auto record
        = write(kHeader + line(first, 3, 4, "measured", 1, 312100, 312) + line(second, 3, 4, "measured", 1, 312500, 312)
                + unfinished.substr(0, unfinished.size() - 2));
    EXPECT_EQ(record->testCount(), 2U);
    EXPECT_EQ((*record->match(3, stored({312})))[0][0].rtUs, 312500);
}

TEST_F(TimingRecordTest, ListCutByTheTableMatchesOnWhatTheRowKept)
{
    const char* t = "2026-12-08T14:03:12+01:00";
    const auto record = write(kHeader + line(t, 1, 4, "measured", 1, 312400, 312)
                              + line(t, 1, 5, "measured", 1, 298999, 299) + line(t, 1, 6, "measured", 1, 301000, 301));
    auto times = stored({312, 299});
    EXPECT_FALSE(record->match(1, times));
    times[0].fullWidth = true;
    const auto trials = record->match(1, times);
    ASSERT_TRUE(trials);
    EXPECT_EQ((*trials)[0].size(), 2U);
}

TEST_F(TimingRecordTest, RecordsThatCannotBeUsed)
{
    EXPECT_EQ(write("")->testCount(), 0U);
    try {
        write("test_time,table_row,line,block,series,rt_stored_ms\r\n");
        FAIL() << "a record without rt_us was accepted";
    } catch (const ReportError& error) {
        EXPECT_EQ(std::string(error.what()),
                  m_dir.path("tivora4_timing.csv") + " is not a timing record: it has no column rt_us");
    }
    // A line whose numbers do not read makes its test unusable, not wrong.
    const auto record = write(kHeader + "x,1,4,measured,1,2000,1,1,1,abc,312,0,key,event,server\r\n");
    EXPECT_FALSE(record->match(1, stored({312})));
}

TEST(CsvRecordTest, QuotedFieldsKeepDelimitersQuotesAndLineEnds)
{
    std::vector<std::string> fields;
    splitCsvRecord("a,\"b,c\",\"d \"\"e\"\"\",\"f\r\ng\",", ',', fields);
    EXPECT_EQ(fields, (std::vector<std::string> {"a", "b,c", "d \"e\"", "f\r\ng", ""}));
    splitCsvRecord("1;2", ';', fields);
    EXPECT_EQ(fields, (std::vector<std::string> {"1", "2"}));
}

} // namespace
} // namespace report
