#pragma once

#include "report/row_issue.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The reaction times of a series as the results table holds them: two "|"-terminated lists of unsigned
// decimal numbers, A then B ("312|298|305|"). B may have been cut at its field's width when it was
// stored, so a last value of B without its "|" in a full-width field is a value the table cut.
namespace report {

// Width of the list fields of the results table, in characters.
inline constexpr std::size_t kListFieldWidth = 254;

struct DecodedSeries
{
    std::vector<std::uint32_t> values; // in trial order, A's values first
    bool fullWidth = false;            // list B fills its field: values after it may have been cut off
    std::vector<RowIssue> issues;      // errors (then `values` must not be used) and the cut warning

    bool ok() const { return !hasError(issues); }
};

// Decodes series `series` (1..4) from its lists `listA` and `listB` (UTF-8, as the table engine reads
// them), named `fieldA` and `fieldB` in issues. Only digits and "|" are accepted; anything else, an empty
// value, a value beyond 4,294,967,295 or a last value without "|" (other than one cut at `widthB`
// characters in list B) is an error. Never throws.
DecodedSeries decodeSeriesLists(int series, std::string_view listA, std::string_view listB, const std::string& fieldA,
                                const std::string& fieldB, std::size_t widthB = kListFieldWidth);

} // namespace report
