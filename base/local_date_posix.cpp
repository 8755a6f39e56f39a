#include "base/local_date.h"

#include <ctime>

namespace base {

LocalDate localToday()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts {};
    ::localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday};
}

std::string localDateTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts {};
    ::localtime_r(&now, &parts);
    char text[40] = {};
    // %z gives "+0100"; ISO 8601's extended form wants "+01:00".
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &parts);
    std::string out(text, n);
    if (out.size() >= 5) {
        out.insert(out.size() - 2, ":");
    }
    return out;
}

} // namespace base
