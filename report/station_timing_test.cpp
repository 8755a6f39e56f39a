#include "audit/journal_entry.h"
#include "base/error.h"
#include "report/station_timing.h"
#include "storage/test_support.h"

#include <gtest/gtest.h>

namespace report {
namespace {

using storage::testing::FailingFile;
using storage::testing::readAll;
using storage::testing::TempDir;
using storage::testing::writeAll;

results::StationSelfTest selfTest(const std::string& time, const std::string& station, std::int64_t foreperiodP95)
{
    return {time, station, true, 60.0, 100, foreperiodP95, 2000, 4000, "server"};
}

// Journal lines as the station writes them, chained.
std::string journal(const std::vector<audit::JournalEntry>& entries)
{
    std::string bytes = audit::kJournalHeader;
    std::string previous = audit::firstPreviousHash();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        audit::JournalEntry entry = entries[i];
        entry.sequence = i + 1;
        entry.rowsAtStart = i == 0 ? std::optional<std::uint32_t>(0) : std::nullopt;
        const std::string line = audit::entryLine(entry, previous);
        previous = audit::lineHash(line);
        bytes += line;
    }
    return bytes;
}

audit::JournalEntry entry(const std::string& time, const std::string& station, audit::Action action, std::uint32_t row,
                          const audit::FieldChange& change = {})
{
    return audit::makeEntry({time, station, "novakova"}, action, row, "row bytes " + std::to_string(row), change);
}

TEST(StationTimingTest, TheLogIsWrittenWithOneHeaderAndReadBack)
{
    TempDir dir;
    const std::string path = results::stationLogPath(dir.path("tivora4.DBF"));
    EXPECT_EQ(path, dir.path("tivora4_stations.csv"));
    results::StationSelfTest odd = selfTest("2026-12-08T14:03:12+01:00", "lab \"2\", upstairs\x01", 900);
    odd.refreshHz.reset();
    odd.fit = false;
    for (const auto& test : {selfTest("2026-12-08T08:00:00+01:00", "lab-1", 800), odd}) {
        auto file = base::openOrCreateFile(path);
        results::appendStationLog(*file, test);
    }
    const std::string bytes = readAll(path);
    EXPECT_EQ(bytes.find(results::kStationLogHeader), 0U);
    EXPECT_EQ(bytes.find("time,", 1), std::string::npos) << "one header";
    const std::vector<results::StationSelfTest> tests = parseStationLog(bytes);
    ASSERT_EQ(tests.size(), 2U);
    EXPECT_EQ(tests[0].station, "lab-1");
    EXPECT_EQ(tests[0].foreperiodP95Us, 800);
    EXPECT_EQ(tests[1].station, "lab \"2\", upstairs?");
    EXPECT_FALSE(tests[1].fit);
    EXPECT_FALSE(tests[1].refreshHz);
    // A line cut short or damaged by hand is passed over; the lines after it still count.
    EXPECT_EQ(parseStationLog(bytes + "2026-12-09T08:00:00+01:00,lab-1,fit,60,1,2,x,4,server\r\n"
                              + results::stationLogLine(selfTest("2026-12-10T08:00:00+01:00", "lab-3", 1)) + "2026-12")
                  .size(),
              3U);
    EXPECT_TRUE(parseStationLog("time,station\r\n" + results::stationLogLine(odd)).empty());
}

TEST(StationTimingTest, AFailedAppendLeavesTheLogAsItWas)
{
    TempDir dir;
    const std::string path = dir.path("tivora4_stations.csv");
    writeAll(path, std::string(results::kStationLogHeader));
    const std::string line = results::stationLogLine(selfTest("2026-12-08T08:00:00+01:00", "lab-1", 800));
    for (const std::size_t budget : {std::size_t {0}, line.size() / 2, line.size() - 1}) {
        FailingFile file(base::openOrCreateFile(path), budget);
        EXPECT_THROW(results::appendStationLog(file, selfTest("2026-12-08T08:00:00+01:00", "lab-1", 800)),
                     base::FileError);
        EXPECT_EQ(readAll(path), results::kStationLogHeader) << "budget " << budget;
    }
}

TEST(StationTimingTest, TheRowIsStoredByTheStationOfItsLastStoringEntry)
{
    const std::string bytes = journal({
        entry("2026-12-08T09:00:00+01:00", "lab-1", audit::Action::TestStored, 1),
        entry("2026-12-08T09:10:00+01:00", "lab-2", audit::Action::TestStored, 2),
        entry("2026-12-08T09:20:00+01:00", "lab-3", audit::Action::FieldEdited, 2, {"PRIJM", "Novák", "Nováková"}),
        entry("2026-12-08T09:30:00+01:00", "lab-3", audit::Action::RowStored, 3),
    });
    EXPECT_EQ(storingStation(bytes, 2), std::make_pair(std::string("lab-2"), std::string("2026-12-08T09:10:00+01:00")));
    EXPECT_EQ(storingStation(bytes, 3)->first, "lab-3");
    EXPECT_FALSE(storingStation(bytes, 4)) << "a row the journal never stored";
    // A damaged line is no entry; a torn last line neither.
    std::string damaged = bytes;
    damaged.insert(damaged.find("\r\n") + 2, "not an entry\r\n");
    EXPECT_EQ(storingStation(damaged, 1)->first, "lab-1");
    EXPECT_FALSE(storingStation(bytes.substr(0, bytes.size() - 2), 3));
}

TEST(StationTimingTest, TheLatestSelfTestOfTheStationBeforeTheTestIsTaken)
{
    const std::vector<results::StationSelfTest> tests = {
        selfTest("2026-12-08T08:00:00+01:00", "LAB-2", 1), selfTest("2026-12-08T08:30:00+01:00", "lab-1", 2),
        selfTest("2026-12-08T09:05:00+02:00", "lab-2", 3), // 08:05 in the test's zone
        selfTest("2026-12-08T09:11:00+01:00", "lab-2", 4), // after the test
    };
    EXPECT_EQ(latestSelfTest(tests, "lab-2", "2026-12-08T09:10:00+01:00")->foreperiodP95Us, 3);
    EXPECT_EQ(latestSelfTest(tests, "lab-2", "2026-12-08T08:05:00+01:00")->foreperiodP95Us, 3) << "same second";
    EXPECT_EQ(latestSelfTest(tests, "lab-2", "2026-12-08T08:04:59+01:00")->foreperiodP95Us, 1);
    EXPECT_EQ(latestSelfTest(tests, "lab-2", "2026-12-08T07:00:00Z")->foreperiodP95Us, 1) << "host names in any case";
    EXPECT_FALSE(latestSelfTest(tests, "lab-2", "2026-12-08T06:59:59Z"));
    EXPECT_FALSE(latestSelfTest(tests, "lab-3", "2026-12-09T00:00:00+01:00"));
    EXPECT_FALSE(latestSelfTest(tests, "lab-2", "8.12.2026 9:10"));
}

TEST(StationTimingTest, IsoTimesWithTheirOffsets)
{
    EXPECT_EQ(isoSeconds("1970-01-01T00:00:00Z"), 0);
    EXPECT_EQ(isoSeconds("1970-01-01T01:00:00+01:00"), 0);
    EXPECT_EQ(isoSeconds("1969-12-31T19:30:00-04:30"), 0);
    EXPECT_EQ(isoSeconds("2024-02-29T12:00:00Z"), 1709208000);
    EXPECT_EQ(isoSeconds("2026-12-08T14:03:12+01:00"), 1796734992);
    for (const char* bad : {"", "2026-12-08", "2026-12-08T14:03:12", "2026-13-08T14:03:12Z", "2026-12-08 14:03:12Z",
                            "2026-12-08T14:03:12+0100", "2026-12-08T24:00:00Z", "2026-12-08T14:03:1xZ"}) {
        EXPECT_FALSE(isoSeconds(bad)) << bad;
    }
}

} // namespace
} // namespace report
