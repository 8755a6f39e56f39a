#include "report/row_issue.h"

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
    return "'" + character + "'";
}

} // namespace

Severity severityOf(IssueKind kind)
{
    switch (kind) {
    case IssueKind::ListCut:
    case IssueKind::CountDiffers:
    case IssueKind::MeanDiffers:
    case IssueKind::MeanFromShortTotal:
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
        return issue.field + ": '" + issue.text + "' is not a number";
    case IssueKind::ListCharacter:
        return issue.field + ": character " + std::to_string(issue.position) + " (" + quotedCharacter(issue.text)
            + ") is neither a digit nor '|'";
    case IssueKind::ListEmptyValue:
        return issue.field + ": the '|' at character " + std::to_string(issue.position) + " has no value before it";
    case IssueKind::ListValueTooLarge:
        return issue.field + ": " + issue.text + " is too large for a reaction time";
    case IssueKind::ListUnterminated:
        return issue.field + ": the last value '" + issue.text + "' has no '|' after it";
    case IssueKind::ListCut:
        return issue.field + ": the table cut the list at its width; the cut value '" + issue.text + "' is left out";
    case IssueKind::CountDiffers:
        return series + ": the lists hold " + plainNumber(issue.actual) + " values, " + issue.field + " says "
            + plainNumber(issue.expected);
    case IssueKind::MeanDiffers:
        return series + ": the stored mean " + issue.field + " = " + plainNumber(issue.expected)
            + " differs from the lists' mean " + plainNumber(issue.actual);
    case IssueKind::MeanFromShortTotal:
        return series + ": the stored mean " + issue.field + " = " + plainNumber(issue.expected)
            + " was computed from a total kept in 16 bits; the lists' mean is " + plainNumber(issue.actual);
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
