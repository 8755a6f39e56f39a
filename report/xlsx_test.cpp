// The XLSX container and sheet, read back with a small zip reader of the test's own on top of zlib:
// every entry found through the central directory, inflated, and its checksum and sizes compared.
#include "report/report_error.h"
#include "report/table_sink.h"
#include "report/zip_writer.h"
#include "storage/test_support.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <zlib.h>

namespace report {
namespace {

using storage::testing::readAll;

std::uint32_t u16(const std::string& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at)))
        | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 1))) << 8;
}

std::uint32_t u32(const std::string& bytes, std::size_t at)
{
    return u16(bytes, at) | u16(bytes, at + 2) << 16;
}

std::string inflateRaw(const std::string& compressed, std::size_t size)
{
    std::string out(size, '\0');
    z_stream stream {};
    EXPECT_EQ(inflateInit2(&stream, -MAX_WBITS), Z_OK);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(stream.avail_in, 0U);
    EXPECT_EQ(stream.avail_out, 0U);
    inflateEnd(&stream);
    return out;
}

// The entries of a zip archive by name, in the order of the central directory.
std::vector<std::pair<std::string, std::string>> unzip(const std::string& archive)
{
    std::vector<std::pair<std::string, std::string>> entries;
    const std::size_t end = archive.rfind(std::string("PK\x05\x06", 4));
    EXPECT_NE(end, std::string::npos);
    if (end == std::string::npos) {
        return entries;
    }
    EXPECT_EQ(end + 22, archive.size());
    const std::uint32_t count = u16(archive, end + 10);
    std::size_t at = u32(archive, end + 16);
    EXPECT_EQ(at + u32(archive, end + 12), end);
    for (std::uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(u32(archive, at), 0x02014b50U);
        const std::uint32_t method = u16(archive, at + 10);
        const std::uint32_t crc = u32(archive, at + 16);
        const std::uint32_t compressedSize = u32(archive, at + 20);
        const std::uint32_t size = u32(archive, at + 24);
        const std::uint32_t nameLength = u16(archive, at + 28);
        const std::uint32_t local = u32(archive, at + 42);
        const std::string name = archive.substr(at + 46, nameLength);
        EXPECT_EQ(method, 8U) << name;
        EXPECT_EQ(u32(archive, local), 0x04034b50U) << name;
        EXPECT_EQ(archive.substr(local + 30, nameLength), name);
        const std::size_t data = local + 30 + nameLength + u16(archive, local + 28);
        const std::string content = inflateRaw(archive.substr(data, compressedSize), size);
        EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())), crc)
            << name;
        if (u16(archive, local + 6) & 0x0008) {
            // Streamed: the sizes and checksum follow the data.
            const std::size_t descriptor = data + compressedSize;
            EXPECT_EQ(u32(archive, descriptor), 0x08074b50U);
            EXPECT_EQ(u32(archive, descriptor + 4), crc);
            EXPECT_EQ(u32(archive, descriptor + 8), compressedSize);
            EXPECT_EQ(u32(archive, descriptor + 12), size);
        } else {
            EXPECT_EQ(u32(archive, local + 14), crc);
            EXPECT_EQ(u32(archive, local + 18), compressedSize);
        }
        entries.emplace_back(name, content);
        at += 46 + nameLength + u16(archive, at + 30) + u16(archive, at + 32);
    }
    return entries;
}

std::string noisyText(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        text += std::to_string(random() % 1000) + (random() % 7 == 0 ? "|\n" : "|");
    }
    return text;
}

TEST(ZipWriterTest, WholeAndStreamedEntriesReadBackIntact)
{
    storage::testing::TempDir dir;
    const std::string path = dir.path("a.zip");
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    const std::string big = noisyText(5'000'000, 1);
    {
        ZipWriter zip(stream, path, 1);
        zip.addEntry("first.txt", "hello");
        zip.addEntry("empty", "");
        zip.beginEntry("dir/big.txt");
        // In parts of uneven sizes, more of them than the writer keeps in flight.
        std::string buffer;
        for (std::size_t at = 0; at < big.size(); at += 70'001) {
            buffer.append(big, at, 70'001);
            zip.write(buffer);
            EXPECT_TRUE(buffer.empty());
        }
        zip.endEntry();
        zip.addEntry("last.txt", "after the stream");
        zip.finish();
    }
    ASSERT_EQ(std::fclose(stream), 0);

    const auto entries = unzip(readAll(path));
    ASSERT_EQ(entries.size(), 4U);
    EXPECT_EQ(entries[0], std::make_pair(std::string("first.txt"), std::string("hello")));
    EXPECT_EQ(entries[1], std::make_pair(std::string("empty"), std::string()));
    EXPECT_EQ(entries[2].first, "dir/big.txt");
    EXPECT_TRUE(entries[2].second == big);
    EXPECT_EQ(entries[3].second, "after the stream");
}

#ifndef _WIN32
TEST(ZipWriterTest, AFullDiskWhileCompressingIsReportedToTheWriterNotLost)
{
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    const std::string incompressible = [] {
        std::mt19937 random(3);
        std::string bytes(1 << 20, '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(random());
        }
        return bytes;
    }();
    try {
        ZipWriter zip(full, "out.xlsx", 1);
        zip.beginEntry("sheet.xml");
        for (int i = 0; i < 64; ++i) {
            std::string buffer = incompressible;
            zip.write(buffer);
        }
        zip.endEntry();
        ADD_FAILURE() << "64 MB went to a full disk without an error";
    } catch (const ReportError& error) {
        EXPECT_NE(std::string(error.what()).find("Cannot write file out.xlsx: "), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find(std::strerror(ENOSPC)), std::string::npos) << error.what();
    }
    std::fclose(full);
}
#endif

class XlsxSinkTest : public ::testing::Test
{
protected:
    // The workbook's parts by name.
    std::map<std::string, std::string> parts()
    {
        std::map<std::string, std::string> byName;
        for (auto& [name, content] : unzip(readAll(m_path))) {
            byName[name] = content;
        }
        return byName;
    }

    static std::string sheetData(const std::string& sheet)
    {
        const std::size_t begin = sheet.find("<sheetData>");
        const std::size_t end = sheet.find("</sheetData>");
        return begin == std::string::npos || end == std::string::npos ? std::string()
                                                                      : sheet.substr(begin + 11, end - begin - 11);
    }

    storage::testing::TempDir m_dir;
    std::string m_path = m_dir.path("out.xlsx");
};

TEST_F(XlsxSinkTest, APackageOfTheWorkbookItsSheetAndStyles)
{
    auto sink = makeXlsxSink(m_path, "tests");
    sink->text("row");
    sink->endRow();
    sink->finish();
    const auto workbook = parts();
    for (const char* name : {"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml", "xl/_rels/workbook.xml.rels",
                             "xl/styles.xml", "xl/worksheets/sheet1.xml"}) {
        ASSERT_EQ(workbook.count(name), 1U) << name;
    }
    // Every part the relationships point to is in the package, and the content types name the sheet.
    EXPECT_NE(workbook.at("_rels/.rels").find("Target=\"xl/workbook.xml\""), std::string::npos);
    EXPECT_NE(workbook.at("xl/_rels/workbook.xml.rels").find("Target=\"worksheets/sheet1.xml\""), std::string::npos);
    EXPECT_NE(workbook.at("[Content_Types].xml").find("/xl/worksheets/sheet1.xml"), std::string::npos);
    EXPECT_NE(workbook.at("xl/workbook.xml").find("<sheet name=\"tests\" sheetId=\"1\" r:id=\"rId1\"/>"),
              std::string::npos);
    EXPECT_NE(workbook.at("xl/worksheets/sheet1.xml").find("state=\"frozen\""), std::string::npos);
}

TEST_F(XlsxSinkTest, CellsKeepTheirColumnsTypesAndText)
{
    auto sink = makeXlsxSink(m_path, "tests");
    sink->text("PRIJM");
    sink->text("n");
    sink->endRow();
    sink->integer(-7);
    sink->empty();
    sink->number(312.5);
    for (int i = 0; i < 24; ++i) {
        sink->empty();
    }
    sink->text("Řehoř & <Kůň>");
    sink->endRow();
    sink->endRow(); // a row of no cells is left out
    sink->text(" padded ");
    sink->text(std::string("bell\x07 tab\t", 10));
    sink->text("_x0041_ stays as typed");
    sink->finish();

    EXPECT_EQ(sheetData(parts()["xl/worksheets/sheet1.xml"]),
              "<row r=\"1\"><c r=\"A1\" s=\"1\" t=\"inlineStr\"><is><t>PRIJM</t></is></c>"
              "<c r=\"B1\" s=\"1\" t=\"inlineStr\"><is><t>n</t></is></c></row>"
              "<row r=\"2\"><c r=\"A2\"><v>-7</v></c><c r=\"C2\"><v>312.5</v></c>"
              "<c r=\"AB2\" t=\"inlineStr\"><is><t>Řehoř &amp; &lt;Kůň&gt;</t></is></c></row>"
              "<row r=\"4\"><c r=\"A4\" t=\"inlineStr\"><is><t xml:space=\"preserve\"> padded </t></is></c>"
              "<c r=\"B4\" t=\"inlineStr\"><is><t xml:space=\"preserve\">bell_x0007_ tab\t</t></is></c>"
              "<c r=\"C4\" t=\"inlineStr\"><is><t>_x005F_x0041_ stays as typed</t></is></c></row>");
}

TEST_F(XlsxSinkTest, TextThatLooksLikeAFormulaStaysText)
{
    // A workbook's cells are values unless written as formulas: a surname "=HYPERLINK(...)" is a text cell.
    auto sink = makeXlsxSink(m_path, "tests");
    sink->text("=HYPERLINK(\"http://x\",\"y\")");
    sink->text("@SUM(A1)");
    sink->integer(-5);
    sink->finish();
    const std::string sheet = parts()["xl/worksheets/sheet1.xml"];
    EXPECT_EQ(sheetData(sheet),
              "<row r=\"1\"><c r=\"A1\" s=\"1\" t=\"inlineStr\"><is><t>=HYPERLINK(\"http://x\",\"y\")"
              "</t></is></c><c r=\"B1\" s=\"1\" t=\"inlineStr\"><is><t>@SUM(A1)</t></is></c>"
              "<c r=\"C1\"><v>-5</v></c></row>");
    EXPECT_EQ(sheet.find("<f>"), std::string::npos);
}

TEST_F(XlsxSinkTest, ASheetFullOfRowsRefusesTheNextAndLeavesNoFile)
{
    {
        auto sink = makeXlsxSink(m_path, "tests");
        sink->text("header");
        for (int row = 0; row < 1048575; ++row) {
            sink->endRow(); // rows without cells cost nothing in the file
        }
        sink->integer(1); // the last row a sheet has
        sink->endRow();
        try {
            sink->integer(2);
            ADD_FAILURE() << "a row past the sheet's last was written";
        } catch (const ReportError& error) {
            EXPECT_NE(std::string(error.what()).find("at most 1048575 rows below its header; use CSV"),
                      std::string::npos)
                << error.what();
        }
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_dir.dir())) {
        ++files;
    }
    EXPECT_EQ(files, 0U);
}

} // namespace
} // namespace report
