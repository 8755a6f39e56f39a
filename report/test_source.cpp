#include "report/test_source.h"

#include <charconv>

namespace report {

std::optional<CalendarDate> parseIsoDate(const std::string& text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        int value = -1;
        const char* begin = text.data() + at;
        const auto result = std::from_chars(begin, begin + length, value);
        return result.ec == std::errc() && result.ptr == begin + length ? value : -1;
    };
    const CalendarDate date {number(0, 4), number(5, 2), number(8, 2)};
    // A real date reads back as itself.
    const auto back = parseTestDate(text, DateOrder::DayMonth, 9999);
    if (date.year < 1 || !back || !(*back == date)) {
        return std::nullopt;
    }
    return date;
}

bool passesFilter(const TestFilter& filter, const TestIdentity& identity, int currentYear)
{
    if (!filter.person.empty() && identity.birthNumberKey() != filter.person) {
        return false;
    }
    if (!filter.byPeriod()) {
        return true;
    }
    const auto date = parseTestDate(identity.date, DateOrder::DayMonth, currentYear);
    return date && !(filter.from && *date < *filter.from) && !(filter.to && *filter.to < *date);
}

} // namespace report
