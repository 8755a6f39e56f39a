#include "report/row_issue.h"

#include "text/utf8.h"

#include <cmath>
#include <cstdio>

namespace report {

namespace {

// A character for a message: in quotes when it can be seen, as its byte value when it is a control byte.
std::string quotedCharacter(const std::string& character)
{
    if (character.size() == 1 && static_cast<unsigned char>(character[0]) < 0x20U) {
        char text[16];
        std::snprintf(text, sizeof text, "byte 0x%02X",
                      static_cast<unsigned>(static_cast<unsigned char>(character[0])));
        return text;
    }
    return "'" + printableText(character) + "'";
}

// Characters a terminal or a text layout acts on instead of showing: control characters, and those that
// turn the direction of the text or break its line.
bool actsOnDisplay(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || (c >= 0x202A && c <= 0x202E)
        || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F || c == 0x061C;
}

} // namespace

std::string printableText(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const char32_t c = text::nextCodePoint(text, pos);
        const bool malformed = c == text::kReplacementCharacter && pos - start == 1;
        if (malformed || (c < 0x100 && actsOnDisplay(c))) {
            const auto byte = malformed ? static_cast<unsigned char>(text[start]) : static_cast<unsigned char>(c);
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else if (actsOnDisplay(c)) {
            char escaped[12];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out.append(text.substr(start, pos - start));
        }
    }
    return out;
}

Severity severityOf(IssueKind kind)
{
    switch (kind) {
    case IssueKind::ListCut:
    case IssueKind::CountDiffers:
    case IssueKind::MeanDiffers:
    case IssueKind::MeanFromShortTotal:
    case IssueKind::TimingValueImplausible:
    case IssueKind::TimingLineDamaged:
        return Severity::Warning;
    default:
        return Severity::Error;
    }
}

bool hasError(const std::vector<RowIssue>& issues)
{
    for (const RowIssue& issue : issues) {
        if (severityOf(issue.kind) == Severity::Error) {
            return true;
        }
    }
    return false;
}

std::string plainNumber(double value)
{
    char text[64];
    if (std::fabs(value) >= 1e15) {
        // A damaged row's absurd value: its hundreds of digits would neither fit nor help.
        std::snprintf(text, sizeof text, "%.6g", value);
        return text;
    }
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string result = text;
    while (!result.empty() && result.back() == '0') {
        result.pop_back();
    }
    if (!result.empty() && result.back() == '.') {
        result.pop_back();
    }
    return result == "-0" ? "0" : result;
}

std::string describe(const RowIssue& issue)
{
    const std::string series = "series " + std::to_string(issue.series);
    switch (issue.kind) {
    case IssueKind::NumberFieldInvalid:
        return issue.field + ": '" + printableText(issue.text) + "' is not a number";
    case IssueKind::ListCharacter:
        return issue.field + ": character " + std::to_string(issue.position) + " (" + quotedCharacter(issue.text)
            + ") is neither a digit nor '|'";
    case IssueKind::ListEmptyValue:
        return issue.field + ": the '|' at character " + std::to_string(issue.position) + " has no value before it";
    case IssueKind::ListValueTooLarge:
        return issue.field + ": " + printableText(issue.text) + " is too large for a reaction time";
    case IssueKind::ListUnterminated:
        return issue.field + ": the last value '" + printableText(issue.text) + "' has no '|' after it";
    case IssueKind::ListCut:
        return issue.field + ": the table cut the list at its width; the cut value '" + printableText(issue.text)
            + "' is left out";
    case IssueKind::CountDiffers:
        return series + ": the lists hold " + plainNumber(issue.actual) + " values, " + issue.field + " says "
            + plainNumber(issue.expected);
    case IssueKind::MeanDiffers:
        return series + ": the stored mean " + issue.field + " = " + plainNumber(issue.expected)
            + " differs from the lists' mean " + plainNumber(issue.actual);
    case IssueKind::MeanFromShortTotal:
        return series + ": the stored mean " + issue.field + " = " + plainNumber(issue.expected)
            + " was computed from a total kept in 16 bits; the lists' mean is " + plainNumber(issue.actual);
    case IssueKind::TimingValueImplausible:
        return "the timing record's line " + std::to_string(issue.position) + " (" + series + ") gives rt_us "
            + printableText(issue.text) + ", which is no reaction time of " + plainNumber(issue.expected)
            + " ms; the table's values are used";
    case IssueKind::TimingLineDamaged:
        return "the timing record's line " + std::to_string(issue.position)
            + " of this test cannot be read; the table's values are used";
    }
    return {};
}

std::string problemLine(std::uint32_t record, const RowIssue& issue)
{
    const char* level = severityOf(issue.kind) == Severity::Error ? "error: " : "warning: ";
    return "row " + std::to_string(record) + ": " + level + describe(issue);
}

std::string describeAll(const std::vector<RowIssue>& issues)
{
    std::string text;
    for (const RowIssue& issue : issues) {
        if (!text.empty()) {
            text += "; ";
        }
        text += describe(issue);
    }
    return text;
}

} // namespace report
