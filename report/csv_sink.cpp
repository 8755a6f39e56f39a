#include "report/output_file.h"
#include "report/output_platform.h"
#include "report/report_error.h"
#include "report/table_sink.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

namespace report {

namespace {

std::string systemReason()
{
    return std::strerror(errno);
}

// True for text a spreadsheet would take for a formula (or whose first character it would drop and then
// read the rest as one): "=...", "+...", "-...", "@...", and a tab or carriage return in front.
bool startsLikeAFormula(std::string_view value)
{
    return !value.empty() && std::string_view("=+-@\t\r").find(value.front()) != std::string_view::npos;
}

class CsvSink final : public TableSink
{
public:
    CsvSink(const std::string& path, const CsvOptions& options)
        : m_options(options)
    {
        if (path == "-") {
            m_stream = stdout;
            platform::setBinaryMode(m_stream);
        } else {
            m_file = std::make_unique<OutputFile>(path);
        }
        m_buffer = "\xEF\xBB\xBF";
    }

    void text(std::string_view value) override { cell(value, !m_options.rawText && startsLikeAFormula(value)); }

    void integer(std::int64_t value) override
    {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        separate();
        m_buffer.append(digits, result.ptr);
    }

    void number(double value) override
    {
        std::string digits = shortestNumber(value);
        if (m_options.decimalComma) {
            const std::size_t point = digits.find('.');
            if (point != std::string::npos) {
                digits[point] = ',';
            }
            cell(digits, false); // quoted when the delimiter is a comma too; a minus stays a number's
            return;
        }
        separate();
        m_buffer += digits;
    }

    void empty() override { separate(); }

    void endRow() override
    {
        m_buffer += "\r\n";
        m_rowStarted = false;
        if (m_buffer.size() >= 1 << 16) {
            flushBuffer();
        }
    }

    void finish() override
    {
        flushBuffer();
        if (m_file) {
            m_file->commit();
        } else if (std::fflush(m_stream) != 0) {
            throw ReportError("Cannot write to the standard output: " + systemReason());
        }
    }

private:
    // A text cell, after an apostrophe when `defused`; in quotes when it holds the delimiter, a quote or
    // a line end.
    void cell(std::string_view value, bool defused)
    {
        separate();
        const bool quoted
            = value.find_first_of(std::string {m_options.delimiter, '"', '\r', '\n'}) != std::string_view::npos;
        if (quoted) {
            m_buffer += '"';
        }
        if (defused) {
            m_buffer += '\'';
        }
        for (const char c : value) {
            m_buffer += c;
            if (c == '"') {
                m_buffer += '"';
            }
        }
        if (quoted) {
            m_buffer += '"';
        }
    }

    void separate()
    {
        if (m_rowStarted) {
            m_buffer += m_options.delimiter;
        }
        m_rowStarted = true;
    }

    void flushBuffer()
    {
        if (m_file) {
            m_file->write(m_buffer);
        } else if (!m_buffer.empty() && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_stream) != m_buffer.size()) {
            throw ReportError("Cannot write to the standard output: " + systemReason());
        }
        m_buffer.clear();
    }

    CsvOptions m_options;
    std::unique_ptr<OutputFile> m_file;
    std::FILE* m_stream = nullptr;
    std::string m_buffer;
    bool m_rowStarted = false;
};

} // namespace

std::string shortestNumber(double value)
{
    // Plain notation, which every spreadsheet reads, up to where it would grow longer than the exponent form.
    char digits[400];
    const auto format = std::fabs(value) < 1e15 ? std::chars_format::fixed : std::chars_format::general;
    const auto result = std::to_chars(digits, digits + sizeof digits, value, format);
    return std::string(digits, result.ptr);
}

std::unique_ptr<TableSink> makeCsvSink(const std::string& path, const CsvOptions& options)
{
    return std::make_unique<CsvSink>(path, options);
}

} // namespace report
