#pragma once

#include <optional>
#include <string_view>

// The DATE field holds the date box's text in the station's short date format, fitted into a mask of
// digits: " 7.12.2026" under d.M.yyyy, "12/ 7/2026" under M/d/yyyy, "08.12.  26" under dd.MM.yy. The
// report reads it back to order a person's tests.
namespace report {

struct CalendarDate
{
    int year = 0;
    int month = 0;
    int day = 0;

    bool operator==(const CalendarDate& other) const
    {
        return year == other.year && month == other.month && day == other.day;
    }
    bool operator<(const CalendarDate& other) const
    {
        if (year != other.year) {
            return year < other.year;
        }
        return month != other.month ? month < other.month : day < other.day;
    }
};

// Which of the first two fields is the day, when the year comes last.
enum class DateOrder { DayMonth, MonthDay };

// Reads a stored date. The text is split into its runs of digits (any other character separates
// them); three runs are taken as year, month, day when the first has three or four digits, otherwise
// as day and month in `preferred` order (or the other order when only that one gives a real date)
// followed by the year. A two-digit year is taken in the century that does not put it after
// `currentYear`. nullopt when the text gives no real date.
std::optional<CalendarDate> parseTestDate(std::string_view text, DateOrder preferred, int currentYear);

} // namespace report
