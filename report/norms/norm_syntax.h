#pragma once

#include "report/date_field.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The spelling of a norm file, shared by its reader and its writer: the words it uses and how a field
// holds a number or a date.
namespace report::norms {

inline constexpr std::string_view kMagic = "tivora-norms"; // the first field of the first line
inline constexpr std::string_view kFormatVersion = "1";

// Entries of the description.
inline constexpr std::string_view kName = "name";
inline constexpr std::string_view kVersion = "version";
inline constexpr std::string_view kSource = "source";
inline constexpr std::string_view kCollectedFrom = "collected_from";
inline constexpr std::string_view kCollectedTo = "collected_to";
inline constexpr std::string_view kLapseMs = "lapse_ms";
inline constexpr std::string_view kAnticipationMs = "anticipation_ms";

// The table's first columns, before the percentile points.
inline constexpr std::array<std::string_view, 8> kFixedColumns
    = {"age_from", "age_to", "sex", "measure", "n", "flag", "mean", "sd"};

inline constexpr std::string_view kMen = "M";
inline constexpr std::string_view kWomen = "F";
inline constexpr std::string_view kSmallFlag = "small";

// `text` without the spaces and tabs around it.
std::string_view trimmed(std::string_view text);

// `text` for a message: in single quotes, made printable (printableText()) and cut after 40 characters.
std::string quoted(std::string_view text);

// True when `text` holds a character below U+0020 or DEL.
bool hasControlCharacter(std::string_view text);

// A finite number written with a decimal point (or, with `decimalComma`, a decimal comma), an optional
// minus sign and an optional exponent; nullopt for anything else.
std::optional<double> parseNumber(std::string_view text, bool decimalComma);

// `value` in the shortest form that reads back to it, with a decimal comma when asked.
std::string formatNumber(double value, bool decimalComma);

// A whole number of at most nine digits and nothing else; nullopt for anything else.
std::optional<long> wholeNumber(std::string_view text);

// A date written YYYY-MM-DD that is a day of the calendar.
std::optional<CalendarDate> parseIsoDate(std::string_view text);
std::string formatIsoDate(const CalendarDate& date);

// The rank of a percentile column "P1" to "P99" (no leading zero); nullopt for any other name.
std::optional<int> percentileColumn(std::string_view name);

// The measures' names, joined with ", ".
std::string measureList();

} // namespace report::norms
