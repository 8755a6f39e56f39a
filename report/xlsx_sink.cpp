#include "report/output_platform.h"
#include "report/report_error.h"
#include "report/table_sink.h"

#include <xlsxwriter.h>

namespace report {

namespace {

class XlsxSink final : public TableSink
{
public:
    XlsxSink(const std::string& path, const std::string& sheetName)
        : m_file(path)
    {
        // libxlsxwriter writes by name: the temporary file stays reserved, and is filled at the close.
        m_file.detach();
        m_directory = directoryOf(path);
        lxw_workbook_options options {};
        options.constant_memory = LXW_TRUE; // rows go to disk as they are finished: 100,000 tests fit
        options.tmpdir = m_directory.empty() ? nullptr : m_directory.data();
        options.use_zip64 = LXW_TRUE;
        m_workbook = workbook_new_opt(m_file.temporaryPath().c_str(), &options);
        if (!m_workbook) {
            throw ReportError("Cannot create file " + path);
        }
        m_sheet = workbook_add_worksheet(m_workbook, sheetName.c_str());
        m_bold = workbook_add_format(m_workbook);
        format_set_bold(m_bold);
        worksheet_freeze_panes(m_sheet, 1, 0);
    }

    ~XlsxSink() override
    {
        if (m_workbook) {
            // Frees the workbook; the file it wrote is removed with the temporary name.
            workbook_close(m_workbook);
        }
    }

    void text(std::string_view value) override
    {
        const std::string copy(value);
        check(worksheet_write_string(m_sheet, m_row, m_column++, copy.c_str(), m_row == 0 ? m_bold : nullptr));
    }

    void integer(std::int64_t value) override { number(static_cast<double>(value)); }

    void number(double value) override { check(worksheet_write_number(m_sheet, m_row, m_column++, value, nullptr)); }

    void empty() override { ++m_column; }

    void endRow() override
    {
        if (m_row + 1 >= LXW_ROW_MAX) {
            throw ReportError("Cannot write file " + m_file.path() + ": a sheet holds at most "
                              + std::to_string(LXW_ROW_MAX - 1) + " rows below its header; use CSV");
        }
        ++m_row;
        m_column = 0;
    }

    void finish() override
    {
        lxw_workbook* workbook = m_workbook;
        m_workbook = nullptr;
        const lxw_error error = workbook_close(workbook);
        if (error != LXW_NO_ERROR) {
            throw ReportError("Cannot write file " + m_file.path() + ": " + lxw_strerror(error));
        }
        m_file.commit();
    }

private:
    static std::string directoryOf(const std::string& path)
    {
        const std::size_t slash = path.find_last_of(platform::kPathSeparators);
        return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    }

    void check(lxw_error error) const
    {
        if (error != LXW_NO_ERROR) {
            throw ReportError("Cannot write file " + m_file.path() + ": " + lxw_strerror(error));
        }
    }

    OutputFile m_file;
    std::string m_directory;
    lxw_workbook* m_workbook = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    lxw_format* m_bold = nullptr;
    lxw_row_t m_row = 0;
    lxw_col_t m_column = 0;
};

} // namespace

std::unique_ptr<TableSink> makeXlsxSink(const std::string& path, const std::string& sheetName)
{
    return std::make_unique<XlsxSink>(path, sheetName);
}

} // namespace report
