#include "report/output_file.h"
#include "report/report_error.h"
#include "report/table_sink.h"
#include "report/zip_writer.h"

#include <charconv>

// An XLSX workbook is a zip of a few XML parts. All but the sheet are fixed; the sheet is written as its
// rows come, cell by cell, and compressed on a second thread meanwhile (zlib's fastest level: the XML of
// 100,000 tests is some 230 MB, and compressing it is most of the work).
namespace report {

namespace {

constexpr std::size_t kMaxRows = 1048576; // a sheet's rows, the header's included
constexpr std::size_t kMaxColumns = 16384;
constexpr std::size_t kChunk = 1 << 20;
constexpr int kCompressionLevel = 1;

constexpr char kXmlDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
constexpr char kSpreadsheetNamespaces[]
    = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

constexpr char kContentTypes[]
    = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
      "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
      "<Override PartName=\"/xl/styles.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
      "<Override PartName=\"/docProps/app.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
      "</Types>";

constexpr char kPackageRelationships[]
    = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
      "Target=\"xl/workbook.xml\"/>"
      "<Relationship Id=\"rId2\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties\" "
      "Target=\"docProps/app.xml\"/>"
      "</Relationships>";

constexpr char kApplicationProperties[]
    = "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\">"
      "<Application>tivora-report</Application></Properties>";

constexpr char kWorkbookRelationships[]
    = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
      "Target=\"worksheets/sheet1.xml\"/>"
      "<Relationship Id=\"rId2\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
      "</Relationships>";

// Style 0 plain, style 1 bold (the header).
constexpr char kStyles[]
    = "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<fonts count=\"2\">"
      "<font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font>"
      "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font>"
      "</fonts>"
      "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
      "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
      "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
      "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
      "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
      "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\"/></cellXfs>"
      "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
      "</styleSheet>";

// The header row stays in view (frozen) while the rows below it scroll.
constexpr char kSheetStart[] = "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\">"
                               "<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
                               "<selection pane=\"bottomLeft\"/></sheetView></sheetViews>"
                               "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData>";

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Text as the content of an XML element in a workbook. XML cannot hold most control characters: the
// workbook format writes them as _xHHHH_, and so a text that itself looks like such an escape has its
// underscore written as _x005F_.
void appendEscaped(std::string& out, std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out += "_x00";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
            out += '_';
        } else if (c == '_' && i + 6 < text.size() && text[i + 1] == 'x' && isHexDigit(text[i + 2])
                   && isHexDigit(text[i + 3]) && isHexDigit(text[i + 4]) && isHexDigit(text[i + 5])
                   && text[i + 6] == '_') {
            out += "_x005F_";
        } else {
            out += c;
        }
    }
}

bool needsPreserve(std::string_view text)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return !text.empty() && (space(text.front()) || space(text.back()));
}

std::string columnName(std::size_t column)
{
    std::string name;
    for (std::size_t n = column + 1; n > 0; n = (n - 1) / 26) {
        name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return name;
}

class XlsxSink final : public TableSink
{
public:
    XlsxSink(const std::string& path, const std::string& sheetName)
        : m_file(path)
        , m_zip(m_file.stream(), path, kCompressionLevel)
    {
        m_zip.addEntry("[Content_Types].xml", std::string(kXmlDeclaration) + kContentTypes);
        m_zip.addEntry("_rels/.rels", std::string(kXmlDeclaration) + kPackageRelationships);
        m_zip.addEntry("docProps/app.xml", std::string(kXmlDeclaration) + kApplicationProperties);
        std::string workbook
            = std::string(kXmlDeclaration) + "<workbook " + kSpreadsheetNamespaces + "><sheets><sheet name=\"";
        appendEscaped(workbook, sheetName);
        workbook += "\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
        m_zip.addEntry("xl/workbook.xml", workbook);
        m_zip.addEntry("xl/_rels/workbook.xml.rels", std::string(kXmlDeclaration) + kWorkbookRelationships);
        m_zip.addEntry("xl/styles.xml", std::string(kXmlDeclaration) + kStyles);
        m_zip.beginEntry("xl/worksheets/sheet1.xml");
        m_buffer = std::string(kXmlDeclaration) + "<worksheet " + kSpreadsheetNamespaces + ">" + kSheetStart;
        m_buffer.reserve(kChunk + 4096);
    }

    void text(std::string_view value) override
    {
        startCell();
        m_buffer += m_row == 0 ? "\" s=\"1\" t=\"inlineStr\"><is>" : "\" t=\"inlineStr\"><is>";
        m_buffer += needsPreserve(value) ? "<t xml:space=\"preserve\">" : "<t>";
        appendEscaped(m_buffer, value);
        m_buffer += "</t></is></c>";
    }

    void integer(std::int64_t value) override
    {
        char digits[24];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        numberCell(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
    }

    void number(double value) override { numberCell(shortestNumber(value)); }

    void empty() override { ++m_column; }

    void endRow() override
    {
        if (!m_rowNumber.empty()) {
            m_buffer += "</row>";
        }
        ++m_row;
        m_column = 0;
        m_rowNumber.clear();
        if (m_buffer.size() >= kChunk) {
            m_zip.write(m_buffer);
        }
    }

    void finish() override
    {
        if (!m_rowNumber.empty()) {
            endRow();
        }
        m_buffer += "</sheetData></worksheet>";
        m_zip.write(m_buffer);
        m_zip.endEntry();
        m_zip.finish();
        m_file.commit();
    }

private:
    // Opens the row when this is its first cell, and the cell up to the end of its reference.
    void startCell()
    {
        if (m_row >= kMaxRows) {
            throw fileError(text::messages::kCannotWriteFile, m_file.path(),
                            "a sheet holds at most " + std::to_string(kMaxRows - 1)
                                + " rows below its header; use CSV");
        }
        if (m_column >= kMaxColumns) {
            throw fileError(text::messages::kCannotWriteFile, m_file.path(),
                            "a sheet holds at most " + std::to_string(kMaxColumns) + " columns");
        }
        if (m_rowNumber.empty()) {
            m_rowNumber = std::to_string(m_row + 1);
            m_buffer += "<row r=\"";
            m_buffer += m_rowNumber;
            m_buffer += "\">";
        }
        while (m_columnNames.size() <= m_column) {
            m_columnNames.push_back(columnName(m_columnNames.size()));
        }
        m_buffer += "<c r=\"";
        m_buffer += m_columnNames[m_column];
        m_buffer += m_rowNumber;
        ++m_column;
    }

    void numberCell(std::string_view digits)
    {
        startCell();
        m_buffer += "\"><v>";
        m_buffer += digits;
        m_buffer += "</v></c>";
    }

    OutputFile m_file;
    ZipWriter m_zip;
    std::string m_buffer;
    std::vector<std::string> m_columnNames;
    std::size_t m_row = 0;
    std::size_t m_column = 0;
    std::string m_rowNumber; // the open row's number as the sheet writes it; empty before its first cell
};

} // namespace

std::unique_ptr<TableSink> makeXlsxSink(const std::string& path, const std::string& sheetName)
{
    return std::make_unique<XlsxSink>(path, sheetName);
}

} // namespace report
