#include "report/report_error.h"
#include "report/timing_record.h"
#include "storage/test_support.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>

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

const std::string kHeader = "test_time,table_row,line,block,series,foreperiod_programmed_ms,foreperiod_measured_us,"
                            "onset_us,response_us,rt_us,rt_stored_ms,premature,input,response_stamp,onset_stamp\r\n";
const char* const kTime = "2026-12-08T14:03:12+01:00";

// One line of the record: a measured trial of `series` (0: outside the series, or practice).
std::string line(const char* time, int row, int index, const char* block, int series, std::int64_t rtUs,
                 std::int64_t storedMs)
{
    return std::string(time) + "," + std::to_string(row) + "," + std::to_string(index) + "," + block + ","
        + (series ? std::to_string(series) : "") + ",2000,2000480,100,200," + std::to_string(rtUs) + ","
        + std::to_string(storedMs) + ",1,key,event,server\r\n";
}

// The test of row 3 the damaged records below are made of: series 1 of 312, 299; series 2 of 305.
std::string goodTest(int row = 3, const char* time = kTime)
{
    return line(time, row, 4, "measured", 1, 312400, 312) + line(time, row, 5, "measured", 1, 298999, 299)
        + line(time, row, 6, "measured", 2, 305001, 305);
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

TEST_F(TimingRecordTest, NoRecordBesideTheTableIsNone)
{
    EXPECT_FALSE(TimingRecord::openBeside(m_dir.path("tivora4.DBF")));
}

TEST_F(TimingRecordTest, MatchingTestGivesItsMeasuredTrialsSeriesBySeries)
{
    const auto record = write(kHeader + line(kTime, 3, 0, "practice", 0, 410200, 410) + goodTest()
                              + line(kTime, 3, 7, "measured", 0, 280000, 280));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->testCount(), 1U);
    EXPECT_TRUE(record->problems().empty());
    const TimingMatch match = record->match(3, stored({312, 299}, {305}));
    ASSERT_TRUE(match.trials);
    EXPECT_FALSE(match.issue);
    const TimingSeries& trials = *match.trials;
    ASSERT_EQ(trials[0].size(), 2U);
    EXPECT_EQ(trials[0][1].rtUs, 298999);
    EXPECT_EQ(trials[0][1].line, "5");
    EXPECT_EQ(trials[0][1].input, "key");
    EXPECT_EQ(trials[1][0].rtUs, 305001);
    EXPECT_TRUE(trials[2].empty());
}

TEST_F(TimingRecordTest, TestIsUsedOnlyWhenItsStoredTimesAreTheRows)
{
    const auto record = write(kHeader + goodTest());
    for (const auto& other : {stored({312, 300}, {305}),     // a value differs: another table's row 3
                              stored({312}, {305}),          // a value missing
                              stored({312, 299, 1}, {305})}) // one more
    {
        const TimingMatch match = record->match(3, other);
        EXPECT_FALSE(match.trials);
        EXPECT_FALSE(match.issue); // a test of another row 3 is no fault of this one
    }
    EXPECT_FALSE(record->match(4, stored({312, 299}, {305})).trials); // no test for that row
    EXPECT_TRUE(record->match(3, stored({312, 299}, {305})).trials);
}

TEST_F(TimingRecordTest, RowWithNothingToCompareMatchesNoTest)
{
    // Series 1 of the row could not be decoded and the others are empty: any test of that row number
    // would "match", another person's too.
    const auto record = write(kHeader + goodTest());
    auto damaged = stored({}, {});
    damaged[0].valid = false;
    damaged[1].valid = false;
    EXPECT_FALSE(record->match(3, damaged).trials);
    EXPECT_FALSE(record->match(3, stored({}, {})).trials);
}

TEST_F(TimingRecordTest, LastMatchingTestWinsAndAnUnfinishedOneIsLeftOut)
{
    const char* first = "2026-12-01T10:00:00+01:00";
    const char* second = "2026-12-08T10:00:00+01:00";
    const std::string unfinished = line("2026-12-09T10:00:00+01:00", 3, 4, "measured", 1, 312900, 313);
    const auto record
        = write(kHeader + line(first, 3, 4, "measured", 1, 312100, 312) + line(second, 3, 4, "measured", 1, 312500, 313)
                + unfinished.substr(0, unfinished.size() - 2));
    EXPECT_EQ(record->testCount(), 2U);
    EXPECT_EQ((*record->match(3, stored({313})).trials)[0][0].rtUs, 312500);
    EXPECT_TRUE(record->problems().empty());
}

TEST_F(TimingRecordTest, ListCutByTheTableMatchesOnWhatTheRowKept)
{
    const auto record
        = write(kHeader + line(kTime, 1, 4, "measured", 1, 312400, 312) + line(kTime, 1, 5, "measured", 1, 298999, 299)
                + line(kTime, 1, 6, "measured", 1, 301000, 301));
    auto times = stored({312, 299});
    EXPECT_FALSE(record->match(1, times).trials);
    times[0].fullWidth = true;
    const TimingMatch match = record->match(1, times);
    ASSERT_TRUE(match.trials);
    EXPECT_EQ((*match.trials)[0].size(), 2U);
}

// A test whose stored milliseconds are the row's, but whose microseconds cannot be its reaction times.
struct HostileValue
{
    std::int64_t rtUs;
    std::int64_t storedMs;
    bool used;
};

class HostileValueTest : public TimingRecordTest, public ::testing::WithParamInterface<HostileValue>
{ };

TEST_P(HostileValueTest, IsUsedOnlyWhenItRoundsToTheStoredMilliseconds)
{
    const HostileValue& value = GetParam();
    const auto record = write(kHeader + line(kTime, 3, 4, "measured", 1, 312400, 312)
                              + line(kTime, 3, 5, "measured", 2, value.rtUs, value.storedMs));
    const TimingMatch match = record->match(3, stored({312}, {static_cast<std::uint32_t>(value.storedMs)}));
    EXPECT_EQ(match.trials.has_value(), value.used);
    if (value.used) {
        EXPECT_EQ((*match.trials)[1][0].rtUs, value.rtUs);
        return;
    }
    ASSERT_TRUE(match.issue);
    EXPECT_EQ(describe(*match.issue),
              "the timing record's line 3 (series 2) gives rt_us " + std::to_string(value.rtUs)
                  + ", which is no reaction time of " + std::to_string(value.storedMs)
                  + " ms; the table's values are used");
    EXPECT_EQ(severityOf(match.issue->kind), Severity::Warning);
}

INSTANTIATE_TEST_SUITE_P(Values, HostileValueTest,
                         ::testing::Values(HostileValue {-5000, 312, false}, HostileValue {999999999, 312, false},
                                           HostileValue {std::numeric_limits<std::int64_t>::max(), 312, false},
                                           HostileValue {std::numeric_limits<std::int64_t>::min(), 0, false},
                                           HostileValue {-400, 0, false}, // rounds to 0, but comes before the stimulus
                                           HostileValue {312500, 312, false}, // halves round away from zero: 313
                                           HostileValue {312499, 312, true},  // the widest a stored 312 allows
                                           HostileValue {311500, 312, true},  //
                                           HostileValue {0, 0, true},         // a press in the stimulus' millisecond
                                           HostileValue {4294967295000, 4294967295,
                                                         true})); // the largest a table stores

// A record damaged in a way that a careless reader takes silently: the line named, the test it is in
// named for its row, a good test elsewhere still used.
struct DamagedRecord
{
    const char* name;
    std::string content;
    std::vector<std::string> problems; // what problems() says
    std::size_t damagedLine;           // the issue of row 3; 0: row 3's test is used
};

class DamagedRecordTest : public TimingRecordTest, public ::testing::WithParamInterface<DamagedRecord>
{ };

TEST_P(DamagedRecordTest, NamesTheLineAndKeepsTheRest)
{
    const DamagedRecord& damaged = GetParam();
    const auto record = write(damaged.content);
    EXPECT_EQ(record->problems(), damaged.problems);
    const TimingMatch three = record->match(3, stored({312, 299}, {305}));
    if (damaged.damagedLine == 0) {
        EXPECT_TRUE(three.trials);
    } else {
        EXPECT_FALSE(three.trials);
        ASSERT_TRUE(three.issue);
        EXPECT_EQ(describe(*three.issue),
                  "the timing record's line " + std::to_string(damaged.damagedLine)
                      + " of this test cannot be read; the table's values are used");
    }
    // Row 9's test follows the damage and is whole.
    EXPECT_TRUE(record->match(9, stored({312, 299}, {305})).trials) << damaged.name;
}

std::string withLine(std::string test, std::size_t index, const std::string& replacement)
{
    std::size_t begin = 0;
    for (std::size_t i = 0; i < index; ++i) {
        begin = test.find("\r\n", begin) + 2;
    }
    return test.replace(begin, test.find("\r\n", begin) + 2 - begin, replacement);
}

std::string withoutCarriageReturns(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedRecordTest,
    ::testing::Values(
        DamagedRecord {"stray quote",
                       kHeader + withLine(goodTest(), 1, "\"" + line(kTime, 3, 5, "measured", 1, 298999, 299))
                           + goodTest(9),
                       {"line 3: a quote in it is not closed"},
                       3},
        DamagedRecord {"junk before the test",
                       kHeader + "garbage" + goodTest() + goodTest(9),
                       {"line 2: test_time is not a date and time"},
                       2},
        DamagedRecord {"junk line inside the test",
                       kHeader + withLine(goodTest(), 1, "x\r\n" + line(kTime, 3, 5, "measured", 1, 298999, 299))
                           + goodTest(9),
                       {"line 3: it has 1 field, the header 15"},
                       0}, // the test is whole around it
        DamagedRecord {"a trial's number",
                       kHeader
                           + withLine(goodTest(), 2,
                                      std::string(kTime)
                                          + ",3,6,measured,2,2000,2000480,100,200,30500x,305,1,key,"
                                            "event,server\r\n")
                           + goodTest(9),
                       {"line 4: rt_us is not a whole number"},
                       4},
        DamagedRecord {"CR inside a line",
                       kHeader + withLine(goodTest(), 0, std::string(kTime) + ",3,4,measured,1\r2000,\r\n")
                           + goodTest(9),
                       {"line 2: it holds a carriage return that does not end it (lines end with CR LF)"},
                       2},
        DamagedRecord {"a line too long",
                       kHeader + goodTest() + std::string(10000, 'x') + "\r\n" + goodTest(9),
                       {"line 5: it is longer than 4096 bytes"},
                       0},
        DamagedRecord {
            "a good record with LF alone", withoutCarriageReturns(kHeader + goodTest() + goodTest(9)), {}, 0}),
    caseName<DamagedRecord>);

TEST_F(TimingRecordTest, ManyDamagedLinesAreCounted)
{
    std::string content = kHeader;
    for (int i = 0; i < 25; ++i) {
        content += "\"\r\n";
    }
    const auto record = write(content + goodTest(9));
    ASSERT_EQ(record->problems().size(), 21U);
    EXPECT_EQ(record->problems()[19], "line 21: a quote in it is not closed");
    EXPECT_EQ(record->problems()[20], "and 5 more lines like these");
    EXPECT_TRUE(record->match(9, stored({312, 299}, {305})).trials);
}

TEST_F(TimingRecordTest, RecordsThatCannotBeUsed)
{
    EXPECT_EQ(write("")->testCount(), 0U);
    EXPECT_EQ(write(kHeader.substr(0, 20))->testCount(), 0U); // the header still being written
    const std::string path = m_dir.path("tivora4_timing.csv");
    std::string crAlone = kHeader + goodTest();
    for (std::size_t at = crAlone.find('\n'); at != std::string::npos; at = crAlone.find('\n', at)) {
        crAlone.erase(at, 1);
    }
    for (const auto& [content, message] :
         {std::pair {std::string("test_time,table_row,line,block,series,rt_stored_ms\r\n"),
                     path + " is not a timing record: it has no column rt_us"},
          {"junk\r\n" + kHeader + goodTest(), path + " is not a timing record: it has no column test_time"},
          {crAlone, path + " cannot be read: its lines end with a carriage return alone, not CR LF"},
          {crAlone + "\n", path + " cannot be read: its lines end with a carriage return alone, not CR LF"}}) {
        try {
            write(content);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const ReportError& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
    }
}

TEST(CsvRecordTest, QuotedFieldsKeepDelimitersAndQuotes)
{
    std::vector<std::string> fields;
    EXPECT_TRUE(splitCsvRecord("a,\"b,c\",\"d \"\"e\"\"\",", ',', fields));
    EXPECT_EQ(fields, (std::vector<std::string> {"a", "b,c", "d \"e\"", ""}));
    EXPECT_TRUE(splitCsvRecord("1;2", ';', fields));
    EXPECT_EQ(fields, (std::vector<std::string> {"1", "2"}));
    EXPECT_FALSE(splitCsvRecord("1,\"2,3", ',', fields));
}

} // namespace
} // namespace report
