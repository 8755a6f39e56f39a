#include "report/norms/norm_syntax.h"

#include "report/norms/norm_table.h"
#include "report/row_issue.h"
#include "text/utf8.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace report::norms {

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

std::string quoted(std::string_view text)
{
    constexpr std::size_t kShown = 40;
    const bool cut = text::utf8Length(text) > kShown;
    return "'" + printableText(cut ? text::utf8Mid(text, 0, kShown) : std::string(text)) + (cut ? "...'" : "'");
}

bool hasControlCharacter(std::string_view text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

std::optional<double> parseNumber(std::string_view text, bool decimalComma)
{
    std::string written(text);
    if (decimalComma) {
        for (char& c : written) {
            c = c == ',' ? '.' : c;
        }
    }
    double value = 0.0;
    const char* end = written.data() + written.size();
    const auto result = std::from_chars(written.data(), end, value);
    if (written.empty() || result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string formatNumber(double value, bool decimalComma)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string written(buffer, result.ptr);
    if (decimalComma) {
        for (char& c : written) {
            c = c == '.' ? ',' : c;
        }
    }
    return written;
}

std::optional<long> wholeNumber(std::string_view text)
{
    if (text.empty() || text.size() > 9) {
        return std::nullopt;
    }
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<CalendarDate> parseIsoDate(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    for (const std::size_t i : {0U, 1U, 2U, 3U, 5U, 6U, 8U, 9U}) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
    }
    // A year of four digits first: the test date's reader takes the runs as year, month and day, and
    // checks that they give a day of the calendar.
    return parseTestDate(text, DateOrder::DayMonth, 9999);
}

std::string formatIsoDate(const CalendarDate& date)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.year, date.month, date.day);
    return buffer;
}

std::optional<int> percentileColumn(std::string_view name)
{
    if (name.size() < 2 || name.size() > 3 || name[0] != 'P' || name[1] == '0') {
        return std::nullopt;
    }
    const std::optional<long> rank = wholeNumber(name.substr(1));
    return rank ? std::optional<int>(static_cast<int>(*rank)) : std::nullopt;
}

std::string measureList()
{
    std::string list;
    for (const Measure measure : kMeasures) {
        list += (list.empty() ? "" : ", ") + std::string(measureName(measure));
    }
    return list;
}

} // namespace report::norms
