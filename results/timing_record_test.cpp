#include "results/test_support.h"
#include "results/timing_record.h"
#include "storage/errors.h"
#include "storage/test_process.h"
#include "storage/test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <vector>

namespace results {
namespace {

using storage::testing::FailingFile;
using storage::testing::readAll;
using storage::testing::TempDir;
using storage::testing::writeAll;
using testing::finishedTest;

constexpr const char* kTime = "2026-12-08T14:03:12+01:00";

TEST(TimingRecordTest, OneLinePerAnsweredTrialInLineOrder)
{
    const std::string lines = timingRecordLines(finishedTest(), 17, kTime);
    EXPECT_EQ(
        lines,
        "2026-12-08T14:03:12+01:00,17,0,practice,,1000,1000600,6000600,6287600,287000,287,0,key,event,server\r\n"
        "2026-12-08T14:03:12+01:00,17,1,practice,,3000,3000450,9300450,9612450,312000,312,2,left,arrival,server\r\n"
        "2026-12-08T14:03:12+01:00,17,3,measured,1,2000,2000500,12000500,12254500,254000,254,0,right,event,server\r\n"
        "2026-12-08T14:03:12+01:00,17,4,measured,2,1000,1000700,13300700,13601700,301000,301,1,key,event,server\r\n"
        "2026-12-08T14:03:12+01:00,17,5,measured,,1000,1000400,14700400,14966400,266000,266,0,middle,event,server\r\n"
        "2026-12-08T14:03:12+01:00,17,6,measured,,,,14700400,16199900,1499500,1500,0,other,event,server\r\n");
    EXPECT_EQ(std::string(timingRecordHeader()),
              "test_time,table_row,line,block,series,foreperiod_programmed_ms,foreperiod_measured_us,onset_us,"
              "response_us,rt_us,rt_stored_ms,premature,input,response_stamp,onset_stamp\r\n");
    EXPECT_TRUE(timingRecordLines(engine::MeasurementState {}, 1, kTime).empty());
}

TEST(TimingRecordTest, LivesBesideTheTableUnderItsBaseName)
{
    EXPECT_EQ(timingRecordPath("/data/lab/tivora4.DBF"), "/data/lab/tivora4_timing.csv");
    EXPECT_EQ(timingRecordPath("tivora4.DBF"), "tivora4_timing.csv");
    EXPECT_EQ(timingRecordPath("C:\\lab.v2\\tivora4.DBF"), "C:\\lab.v2\\tivora4_timing.csv");
    EXPECT_EQ(timingRecordPath("/data/lab.v2/results"), "/data/lab.v2/results_timing.csv");
    EXPECT_EQ(timingRecordPath("/lab/data/tivora4.DBF"), "/lab/data/tivora4_timing.csv");
    EXPECT_EQ(timingRecordPath("C:\\lab.v2\\results"), "C:\\lab.v2\\results_timing.csv");
}

TEST(TimingRecordTest, TheHeaderIsWrittenOnceAndTestsAreAppended)
{
    TempDir dir;
    const std::string table = dir.path("tivora4.DBF");
    storeTimingRecord(table, engine::MeasurementState {}, 1); // nothing answered: no file
    EXPECT_FALSE(base::fileExists(timingRecordPath(table)));
    storeTimingRecord(table, finishedTest(), 1);
    storeTimingRecord(table, finishedTest(), 2);
    const std::string record = readAll(timingRecordPath(table));
    ASSERT_EQ(record.rfind(timingRecordHeader(), 0), 0U);
    EXPECT_EQ(record.find("test_time", 1), std::string::npos);
    std::size_t lineEnds = 0;
    for (std::size_t at = record.find("\r\n"); at != std::string::npos; at = record.find("\r\n", at + 2)) {
        ++lineEnds;
    }
    EXPECT_EQ(lineEnds, 1U + 2 * 6);
    // The store's local time, ISO 8601 with the offset: "2026-12-08T14:03:12+01:00".
    const std::string time = record.substr(std::string(timingRecordHeader()).size(), 26);
    EXPECT_TRUE(time.size() == 26 && time[4] == '-' && time[10] == 'T' && time[13] == ':' && time[22] == ':'
                && (time[19] == '+' || time[19] == '-') && time[25] == ',')
        << time;
    EXPECT_NE(record.find(",2,6,measured,,,,"), std::string::npos);
    EXPECT_FALSE(base::fileExists(dir.path("tivora4.DBF"))) << "the table is never touched";
}

TEST(TimingRecordTest, AFailedWriteLeavesTheRecordAsItWas)
{
    TempDir dir;
    const std::string path = dir.path("tivora4_timing.csv");
    const std::string lines = timingRecordLines(finishedTest(), 1, kTime);
    {
        auto file = base::openOrCreateFile(path);
        appendTimingRecord(*file, lines);
    }
    const std::string before = readAll(path);
    for (const std::size_t budget : {std::size_t {0}, std::size_t {1}, lines.size() / 2, lines.size() - 1}) {
        FailingFile file(base::openOrCreateFile(path), budget);
        try {
            appendTimingRecord(file, lines);
            ADD_FAILURE() << "a full disk went unnoticed at budget " << budget;
        } catch (const storage::FileError& error) {
            EXPECT_EQ(std::string(error.what()).rfind("Cannot write file " + path, 0), 0U) << error.what();
        }
        EXPECT_EQ(readAll(path), before) << "budget " << budget;
    }
    // A record that could not even be created is reported too.
    EXPECT_THROW(storeTimingRecord(dir.path("missing/tivora4.DBF"), finishedTest(), 1), storage::FileError);
}

TEST(TimingRecordTest, StationsAppendingAtOnceNeverInterleaveTheirTests)
{
    TempDir dir;
    const std::string table = dir.path("tivora4.DBF");
    constexpr int kStations = 4;
    constexpr int kTestsEach = 25;
    // Each station is a process of its own, as the append lock belongs to a process or a file handle.
    std::vector<std::unique_ptr<storage::testing::TestProcess>> stations;
    for (int station = 0; station < kStations; ++station) {
        stations.push_back(std::make_unique<storage::testing::TestProcess>(
            STATION_TOOL,
            std::vector<std::string> {"timing-append", table, std::to_string(station * 1000),
                                      std::to_string(kTestsEach)}));
    }
    for (const auto& station : stations) {
        EXPECT_EQ(station->wait(), 0);
    }

    std::istringstream in(readAll(timingRecordPath(table)));
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    EXPECT_EQ(line + "\n",
              std::string(timingRecordHeader()).substr(0, std::string(timingRecordHeader()).size() - 2) + "\r\n");
    std::vector<std::string> rows;
    while (std::getline(in, line)) {
        rows.push_back(line.substr(26, line.find(',', 26) - 26)); // table_row
    }
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kStations * kTestsEach * 6));
    for (std::size_t i = 0; i < rows.size(); i += 6) {
        for (std::size_t j = 1; j < 6; ++j) {
            EXPECT_EQ(rows[i + j], rows[i]) << "a test's lines were split at line " << i + j;
        }
    }
}

} // namespace
} // namespace results
