#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Where an export writes its rows of cells: a CSV file or an XLSX workbook. Both are written through an
// OutputFile (output_file.h): under a temporary name beside the output, renamed only when complete and
// on the disk.
namespace report {

class TableSink
{
public:
    virtual ~TableSink() = default;

    // Cells of the current row, left to right. The first row is the header.
    virtual void text(std::string_view value) = 0;
    virtual void integer(std::int64_t value) = 0;
    virtual void number(double value) = 0; // finite
    virtual void empty() = 0;
    virtual void endRow() = 0;

    // Completes the file and gives it its name. Throws ReportError "Cannot write file <path>: <reason>".
    // Without finish() the destructor removes what was written.
    virtual void finish() = 0;
};

struct CsvOptions
{
    char delimiter = ',';
    bool decimalComma = false; // numbers written with "," for spreadsheets of locales that expect it
    bool rawText = false;      // text cells exactly as they are, also those a spreadsheet runs as formulas
};

// RFC 4180 CSV in UTF-8 with a byte-order mark: CR LF line ends, fields holding the delimiter, a quote
// or a line end in double quotes with quotes doubled. Numbers are written in the shortest form that
// reads back as the same value. A text cell that begins with "=", "+", "-", "@", a tab or a carriage
// return gets an apostrophe in front unless `rawText`: spreadsheets open such a cell as a formula (a
// surname typed as "=HYPERLINK(...)" would become a live link), and take the apostrophe's cell for
// text. Number cells never get one, so a negative number stays a number. `path` "-" writes to the
// standard output. Throws ReportError "Cannot create file <path>: <reason>".
std::unique_ptr<TableSink> makeCsvSink(const std::string& path, const CsvOptions& options);

// An XLSX workbook with one sheet named `sheetName`: a bold, frozen header row, text cells and real
// number cells. Throws ReportError.
std::unique_ptr<TableSink> makeXlsxSink(const std::string& path, const std::string& sheetName);

// The shortest decimal text that reads back as `value`, without an exponent below 1e15 ("312.5", "0.1",
// "250000000", "1e+20").
std::string shortestNumber(double value);

} // namespace report
