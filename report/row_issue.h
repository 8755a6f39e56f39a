#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What can be wrong with a stored test. The reading and analysing code records problems as data; each
// face of the report program words them in its own language (English on the command line and in the
// export's issue column, Czech on the protocol).
namespace report {

enum class IssueKind {
    // Errors: the numbers they touch are left out, never guessed.
    NumberFieldInvalid, // a numeric field holds text that is not a number: `field`, `text`
    ListCharacter,      // a list holds a character other than a digit or "|": `field`, `position`, `text`
    ListEmptyValue,     // a "|" with no digits before it: `field`, `position`
    ListValueTooLarge,  // a value beyond the 32 bits of a reaction time: `field`, `text`
    ListUnterminated,   // the last value lacks its "|" and the table did not cut the list there: `field`, `text`
    // Warnings: the numbers shown are right for what the row holds, but the row is not what was stored
    // at the end of the test, or cannot be checked against it.
    ListCut,            // the table cut list B at its width and the value it cut is left out: `field`, `text`
    CountDiffers,       // the lists hold `actual` values, the stored count `field` says `expected`
    MeanDiffers,        // the stored mean `field` = `expected` is not the lists' mean `actual` rounded
    MeanFromShortTotal, // the stored mean `expected` is what a total kept in 16 bits gives; lists' mean `actual`
    // Warnings about the timing record: the table's whole milliseconds are used instead of its values.
    TimingValueImplausible, // line `position` of series `series`: rt_us `text` is no reaction time of `expected` ms
    TimingLineDamaged,      // line `position` lies in a test of the row and is no line of the record
};

enum class Severity { Error, Warning };

// One problem of a row.
struct RowIssue
{
    IssueKind kind = IssueKind::NumberFieldInvalid;
    int series = 0;           // 1 to 4; 0 for the row as a whole
    std::string field;        // the field concerned, e.g. "SER1A"
    std::string text;         // the offending text (UTF-8)
    std::size_t position = 0; // 1-based character position in the field; a line of the timing record
    double expected = 0.0;    // stored value
    double actual = 0.0;      // value found in the lists
};

Severity severityOf(IssueKind kind);

// True when one of `issues` is an error.
bool hasError(const std::vector<RowIssue>& issues);

// The issue in English, without the row number, e.g. "SER1A: character 5 ('x') is neither a digit nor '|'".
// Texts from the row are shown with control characters and bytes that are not UTF-8 escaped ("\x1B"), so
// that a damaged field cannot speak to the terminal it is printed on.
std::string describe(const RowIssue& issue);

// `text` with what a terminal or a layout would act on written as escapes: control characters and bytes
// that are not UTF-8 as "\x1B", characters that turn the text's direction or break its line as
// "\u202E", and the backslash as "\\".
std::string printableText(std::string_view text);

// One line about an issue of row `record` for a log: "row 7: error: SER1A: ...".
std::string problemLine(std::uint32_t record, const RowIssue& issue);

// All issues of a row joined with "; ".
std::string describeAll(const std::vector<RowIssue>& issues);

// A number as the messages write it: up to 3 decimals, no trailing zeros ("312.625", "300"); from 10^15
// on with an exponent ("1e+308").
std::string plainNumber(double value);

} // namespace report
