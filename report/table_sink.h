#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// Where an export writes its rows of cells: a CSV file or an XLSX workbook. Both are written under a
// temporary name beside the output and renamed only when complete, so a failed export never leaves a
// half-written file under the name asked for, and never replaces an older file with one.
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
};

// RFC 4180 CSV in UTF-8 with a byte-order mark: CR LF line ends, fields holding the delimiter, a quote
// or a line end in double quotes with quotes doubled. Numbers are written in the shortest form that
// reads back as the same value. `path` "-" writes to the standard output. Throws ReportError "Cannot
// create file <path>: <reason>".
std::unique_ptr<TableSink> makeCsvSink(const std::string& path, const CsvOptions& options);

// An XLSX workbook with one sheet named `sheetName`: a bold, frozen header row, text cells and real
// number cells. Throws ReportError.
std::unique_ptr<TableSink> makeXlsxSink(const std::string& path, const std::string& sheetName);

// Writes to a temporary file beside `path` and renames it to `path` at commit().
class OutputFile
{
public:
    // Throws ReportError "Cannot create file <path>: <reason>".
    explicit OutputFile(std::string path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& path() const { return m_path; }
    // The open temporary file.
    std::FILE* stream() const { return m_stream; }
    // Flushes, closes and renames. Throws ReportError "Cannot write file <path>: <reason>".
    void commit();

private:
    std::string m_path;
    std::string m_temporary;
    std::FILE* m_stream = nullptr;
    bool m_committed = false;
};

// The shortest decimal text that reads back as `value`, without an exponent below 1e15 ("312.5", "0.1",
// "250000000", "1e+20").
std::string shortestNumber(double value);

} // namespace report
