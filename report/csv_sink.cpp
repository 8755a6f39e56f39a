#include "report/output_platform.h"
#include "report/report_error.h"
#include "report/table_sink.h"
#include "storage/file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

namespace report {

namespace {

std::string systemReason()
{
    return std::strerror(errno);
}

std::string temporaryNameFor(const std::string& path)
{
    static std::mt19937_64 generator {std::random_device {}()};
    const std::size_t slash = path.find_last_of(platform::kPathSeparators);
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return directory + "." + name + "." + std::to_string(generator() % 1000000000U) + ".tmp";
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
            m_stream = m_file->stream();
        }
        m_buffer = "\xEF\xBB\xBF";
    }

    void text(std::string_view value) override
    {
        separate();
        if (value.find_first_of(std::string {m_options.delimiter, '"', '\r', '\n'}) == std::string_view::npos) {
            m_buffer += value;
            return;
        }
        m_buffer += '"';
        for (const char c : value) {
            m_buffer += c;
            if (c == '"') {
                m_buffer += '"';
            }
        }
        m_buffer += '"';
    }

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
            text(digits); // quoted when the delimiter is a comma too
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
    void separate()
    {
        if (m_rowStarted) {
            m_buffer += m_options.delimiter;
        }
        m_rowStarted = true;
    }

    void flushBuffer()
    {
        if (!m_buffer.empty() && std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_stream) != m_buffer.size()) {
            throw ReportError("Cannot write file " + (m_file ? m_file->path() : std::string("-")) + ": "
                              + systemReason());
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

OutputFile::OutputFile(std::string path)
    : m_path(std::move(path))
    , m_temporary(temporaryNameFor(m_path))
{
    std::string reason;
    m_stream = platform::createNewFile(m_temporary, reason);
    if (!m_stream) {
        throw ReportError("Cannot create file " + m_path + ": " + reason);
    }
}

OutputFile::~OutputFile()
{
    if (m_stream) {
        std::fclose(m_stream);
    }
    if (!m_committed) {
        storage::removeFileQuietly(m_temporary);
    }
}

void OutputFile::commit()
{
    if (m_stream) {
        const bool flushed = std::fflush(m_stream) == 0 && std::ferror(m_stream) == 0;
        const bool closed = std::fclose(m_stream) == 0;
        m_stream = nullptr;
        if (!flushed || !closed) {
            throw ReportError("Cannot write file " + m_path + ": " + systemReason());
        }
    }
    std::string reason;
    if (!platform::replaceFile(m_temporary, m_path, reason)) {
        throw ReportError("Cannot write file " + m_path + ": " + reason);
    }
    m_committed = true;
}

std::unique_ptr<TableSink> makeCsvSink(const std::string& path, const CsvOptions& options)
{
    return std::make_unique<CsvSink>(path, options);
}

} // namespace report
