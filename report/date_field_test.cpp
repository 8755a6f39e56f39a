#include "report/date_field.h"

#include <gtest/gtest.h>

namespace report {
namespace {

std::optional<CalendarDate> parse(const char* text, DateOrder order = DateOrder::DayMonth)
{
    return parseTestDate(text, order, 2026);
}

TEST(TestDateTest, ShortFormatsAsTheDateBoxStoresThem)
{
    EXPECT_EQ(parse(" 7.12.2026"), (CalendarDate {2026, 12, 7}));
    EXPECT_EQ(parse("17. 1.2026"), (CalendarDate {2026, 1, 17}));
    EXPECT_EQ(parse("08.12.  26"), (CalendarDate {2026, 12, 8}));
    EXPECT_EQ(parse("12/ 7/2026", DateOrder::MonthDay), (CalendarDate {2026, 12, 7}));
    EXPECT_EQ(parse("2026-12-07"), (CalendarDate {2026, 12, 7}));
    EXPECT_EQ(parse("7.12.2026  "), (CalendarDate {2026, 12, 7}));
}

TEST(TestDateTest, OrderFallsBackWhenOnlyTheOtherGivesADate)
{
    EXPECT_EQ(parse("12/25/2026"), (CalendarDate {2026, 12, 25}));
    EXPECT_EQ(parse("25.12.2026", DateOrder::MonthDay), (CalendarDate {2026, 12, 25}));
    EXPECT_EQ(parse(" 3. 4.2026", DateOrder::MonthDay), (CalendarDate {2026, 3, 4}));
}

TEST(TestDateTest, TwoDigitYearsStayInThePast)
{
    EXPECT_EQ(parse("1.1.26")->year, 2026);
    EXPECT_EQ(parse("1.1.27")->year, 1927);
    EXPECT_EQ(parse("1.1.98")->year, 1998);
    EXPECT_EQ(parse("1.1.00")->year, 2000);
}

TEST(TestDateTest, TextsThatGiveNoDate)
{
    for (const char* text : {"", "          ", "  .  .    ", "31.11.2026", "29.2.2026", "7.12", "1.2.3.4", "0.1.2026",
                             "13.13.2026", "7.12.20261"}) {
        EXPECT_FALSE(parse(text)) << text;
    }
    EXPECT_TRUE(parse("29.2.2024"));
}

TEST(TestDateTest, DatesCompareInCalendarOrder)
{
    EXPECT_LT((CalendarDate {2025, 12, 31}), (CalendarDate {2026, 1, 1}));
    EXPECT_LT((CalendarDate {2026, 1, 31}), (CalendarDate {2026, 2, 1}));
    EXPECT_FALSE((CalendarDate {2026, 2, 1}) < (CalendarDate {2026, 2, 1}));
}

} // namespace
} // namespace report
