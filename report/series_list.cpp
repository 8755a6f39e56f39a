#include "report/series_list.h"

#include "text/utf8.h"

#include <limits>

namespace report {

namespace {

constexpr std::uint64_t kLargestValue = std::numeric_limits<std::uint32_t>::max();

// One list of a series; appends its values to `out`. Returns false after an error issue.
bool decodeList(int series, std::string_view list, const std::string& field, bool mayBeCut, DecodedSeries& out)
{
    std::uint64_t value = 0;
    std::string digits;
    std::size_t position = 0; // characters, not bytes: a stray letter may be Czech
    std::size_t pos = 0;
    while (pos < list.size()) {
        const std::size_t start = pos;
        const char32_t c = text::nextCodePoint(list, pos);
        ++position;
        if (c >= U'0' && c <= U'9') {
            digits += static_cast<char>(c);
            value = value * 10 + static_cast<std::uint64_t>(c - U'0');
            if (value > kLargestValue) {
                // Keep reading the digits so that the message shows the whole number.
                while (pos < list.size() && list[pos] >= '0' && list[pos] <= '9') {
                    digits += list[pos++];
                }
                if (digits.size() > 20) {
                    digits = digits.substr(0, 20) + "...";
                }
                out.issues.push_back({IssueKind::ListValueTooLarge, series, field, digits, position, 0, 0});
                return false;
            }
        } else if (c == U'|') {
            if (digits.empty()) {
                out.issues.push_back({IssueKind::ListEmptyValue, series, field, {}, position, 0, 0});
                return false;
            }
            out.values.push_back(static_cast<std::uint32_t>(value));
            digits.clear();
            value = 0;
        } else {
            const std::string character(list.substr(start, pos - start));
            out.issues.push_back({IssueKind::ListCharacter, series, field, character, position, 0, 0});
            return false;
        }
    }
    if (!digits.empty()) {
        out.issues.push_back(
            {mayBeCut ? IssueKind::ListCut : IssueKind::ListUnterminated, series, field, digits, position, 0, 0});
        return mayBeCut;
    }
    return true;
}

} // namespace

DecodedSeries decodeSeriesLists(int series, std::string_view listA, std::string_view listB, const std::string& fieldA,
                                const std::string& fieldB, std::size_t widthB)
{
    DecodedSeries decoded;
    decoded.fullWidth = text::utf8Length(listB) >= widthB;
    // List A is never longer than 235 characters when stored, so the table cannot have cut it.
    if (decodeList(series, listA, fieldA, false, decoded)) {
        decodeList(series, listB, fieldB, decoded.fullWidth, decoded);
    }
    if (!decoded.ok()) {
        decoded.values.clear();
    }
    return decoded;
}

} // namespace report
