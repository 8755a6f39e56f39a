#include "report/date_field.h"

#include <string>
#include <vector>

namespace report {

namespace {

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool isRealDate(const CalendarDate& date)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.year < 1 || date.month < 1 || date.month > 12 || date.day < 1) {
        return false;
    }
    const int days = kDays[date.month - 1] + (date.month == 2 && isLeapYear(date.year) ? 1 : 0);
    return date.day <= days;
}

std::vector<std::string> digitRuns(std::string_view text)
{
    std::vector<std::string> runs;
    bool inRun = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (!inRun) {
                runs.emplace_back();
            }
            runs.back() += c;
            inRun = true;
        } else {
            inRun = false;
        }
    }
    return runs;
}

int fullYear(const std::string& digits, int currentYear)
{
    const int year = std::stoi(digits);
    if (digits.size() > 2) {
        return year;
    }
    const int century = currentYear - currentYear % 100;
    return century + year <= currentYear ? century + year : century - 100 + year;
}

} // namespace

std::optional<CalendarDate> parseTestDate(std::string_view text, DateOrder preferred, int currentYear)
{
    const std::vector<std::string> runs = digitRuns(text);
    if (runs.size() != 3) {
        return std::nullopt;
    }
    for (const std::string& run : runs) {
        if (run.size() > 4) {
            return std::nullopt;
        }
    }
    if (runs[0].size() >= 3) {
        const CalendarDate date {std::stoi(runs[0]), std::stoi(runs[1]), std::stoi(runs[2])};
        return isRealDate(date) ? std::optional(date) : std::nullopt;
    }
    const int year = fullYear(runs[2], currentYear);
    const int first = std::stoi(runs[0]);
    const int second = std::stoi(runs[1]);
    const CalendarDate dayMonth {year, second, first};
    const CalendarDate monthDay {year, first, second};
    const CalendarDate& wanted = preferred == DateOrder::DayMonth ? dayMonth : monthDay;
    const CalendarDate& other = preferred == DateOrder::DayMonth ? monthDay : dayMonth;
    if (isRealDate(wanted)) {
        return wanted;
    }
    return isRealDate(other) ? std::optional(other) : std::nullopt;
}

} // namespace report
