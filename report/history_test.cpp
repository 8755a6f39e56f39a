#include "report/history.h"
#include "report/test_support.h"
#include "storage/test_support.h"

#include <gtest/gtest.h>

namespace report {
namespace {

class HistoryTest : public ::testing::Test
{
protected:
    void add(const char* birthNumber, const char* date, const std::string& list, const char* secondPart = "1234")
    {
        m_records.push_back(
            testing::rawRecord({"Nováková", "Jana", birthNumber, secondPart, date}, {{2, 0.0, 0, list, ""}}));
    }

    std::vector<HistoryPoint> historyOf(std::uint32_t record)
    {
        const std::string path = m_dir.path("tivora4.DBF");
        testing::appendRecords(path, m_records);
        m_records.clear();
        ResultsReader reader(path);
        const auto identities = reader.identities();
        const TestIdentity current = reader.read(record)->identity;
        return personHistory(reader, identities, current, {}, nullptr, DateOrder::DayMonth, 2026);
    }

    static std::vector<std::uint32_t> records(const std::vector<HistoryPoint>& points)
    {
        std::vector<std::uint32_t> list;
        for (const HistoryPoint& point : points) {
            list.push_back(point.record);
        }
        return list;
    }

    storage::testing::TempDir m_dir;
    std::vector<results::ResultRecord> m_records;
};

TEST_F(HistoryTest, EarlierTestsOfTheSameBirthNumberByDate)
{
    add("905512", " 3.12.2026", "300|310|"); // 1
    add("111111", " 1.12.2026", "200|200|"); // 2: someone else
    add("905512", " 1.12.2026", "400|420|"); // 3: stored later, examined earlier
    add("905512", " 8.12.2026", "250|260|"); // 4: the current test
    add("905512", "10.12.2026", "250|250|"); // 5: after it
    const auto points = historyOf(4);
    EXPECT_EQ(records(points), (std::vector<std::uint32_t> {3, 1, 4}));
    EXPECT_DOUBLE_EQ(*points[0].mean, 410.0);
    EXPECT_DOUBLE_EQ(*points[1].median, 305.0);
    EXPECT_TRUE(points[2].current);
    EXPECT_FALSE(points[0].current);
    EXPECT_EQ(points[0].date, (CalendarDate {2026, 12, 1}));
}

TEST_F(HistoryTest, RowOrderWhenADateCannotBeRead)
{
    add("905512", " 3.12.2026", "300|");
    add("905512", "  .  .    ", "400|");
    add("905512", " 1.12.2026", "250|");
    EXPECT_EQ(records(historyOf(2)), (std::vector<std::uint32_t> {1, 2}));
}

TEST_F(HistoryTest, DamagedEarlierTestHasNoValuesAndNoBirthNumberNoHistory)
{
    add("905512", " 1.12.2026", "30x|");
    add("905512", " 2.12.2026", "300|");
    add("      ", " 3.12.2026", "300|", "    ");
    const auto points = historyOf(2);
    ASSERT_EQ(points.size(), 2U);
    EXPECT_FALSE(points[0].mean);
    EXPECT_TRUE(historyOf(3).empty());
}

} // namespace
} // namespace report
