#include "storage/dbf_format.h"
#include "storage/dbf_table.h"
#include "storage/errors.h"
#include "storage/test_support.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

namespace storage {
namespace {

using testing::readAll;
using testing::smallSchema;
using testing::writeAll;

// The small table (header 129 bytes, records 27) with three rows, as the engine writes it.
std::string threeRowTable(const std::string& path)
{
    auto table
        = OpenTableFile(path, OpenMode::ReadWrite, IfMissing::Create, smallSchema(), testing::fixedDateOptions());
    for (const char* name : {"Novák", "Dvořák", "Svoboda"}) {
        RowBuffer row = table->newRow();
        EncodeField(row, table->fields()[0], std::string(name));
        table->appendRow(row);
    }
    CloseTableFile(table);
    return readAll(path);
}

std::string withLe16(std::string bytes, std::size_t offset, unsigned value)
{
    bytes[offset] = static_cast<char>(value & 0xFF);
    bytes[offset + 1] = static_cast<char>(value >> 8);
    return bytes;
}

std::string withByte(std::string bytes, std::size_t offset, char value)
{
    bytes[offset] = value;
    return bytes;
}

// A file that is no table, or a damaged one, and the reason it is refused with.
struct HostileFile
{
    const char* name;
    std::function<std::string(const std::string& table)> bytes; // from the bytes of the three-row table
    std::string reason;
};

std::ostream& operator<<(std::ostream& out, const HostileFile& file)
{
    return out << file.name;
}

class HostileTableTest : public ::testing::TestWithParam<HostileFile>
{
protected:
    std::string path() const { return m_dir.path("table.dbf"); }

    // Opens the file as a station would, expects the refusal with `reason` and no notice, and leaves the
    // file as it was.
    void expectRefused(const std::string& opened, const std::string& reason, bool readOnly)
    {
        const std::string before = readAll(path());
        TableOptions options = testing::fixedDateOptions();
        std::vector<std::string> notices;
        options.notice = [&notices](const std::string& text) { notices.push_back(text); };
        try {
            auto table = OpenTableFile(opened, readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite, IfMissing::Create,
                                       smallSchema(), options);
            CloseTableFile(table);
            ADD_FAILURE() << "the file was opened as a table";
        } catch (const TableError& error) {
            EXPECT_EQ(error.what(), "Cannot open file " + opened + ": " + reason);
        }
        EXPECT_TRUE(notices.empty()) << notices.front();
        EXPECT_EQ(readAll(path()), before) << "a refused file must not be written";
    }

    testing::TempDir m_dir;
};

TEST_P(HostileTableTest, IsRefusedWithItsReasonAndNeverWritten)
{
    writeAll(path(), GetParam().bytes(threeRowTable(path())));
    expectRefused(path(), GetParam().reason, false);
    expectRefused(path(), GetParam().reason, true);
}

const std::string kText = "Výsledky měření, pondělí 7. prosince\nNovák 312 298 305\nDvořák 287 301\n";

INSTANTIATE_TEST_SUITE_P(
    NotATable, HostileTableTest,
    ::testing::Values(
        HostileFile {"Empty", [](const std::string&) { return std::string(); }, "the file is empty, it holds no table"},
        HostileFile {"Text", [](const std::string&) { return kText; },
                     "it is not a table (it begins with the byte 0x56, no table's version byte)"},
        HostileFile {"OneByte", [](const std::string&) { return std::string("\x03"); },
                     "damaged table: the file is shorter than a table's header (1 of 32 bytes)"},
        HostileFile {"UnknownVersion", [](const std::string& image) { return withByte(image, 0, '\x05'); },
                     "it is not a table (it begins with the byte 0x05, no table's version byte)"},
        HostileFile {"HeaderLengthOneMore", [](const std::string& image) { return withLe16(image, 8, 130); },
                     "damaged table: the header length is 130 bytes, its 3 field descriptors and their "
                     "terminator take 129"},
        HostileFile {"HeaderLengthOneLess", [](const std::string& image) { return withLe16(image, 8, 128); },
                     "damaged table: the header length is 128 bytes, its 3 field descriptors and their "
                     "terminator take 129"},
        HostileFile {"HeaderLengthOfOneField", [](const std::string& image) { return withLe16(image, 8, 65); },
                     "damaged table: the header length is 65 bytes, its 3 field descriptors and their "
                     "terminator take 129"},
        HostileFile {"HeaderLengthBeyondTheFile", [](const std::string& image) { return withLe16(image, 8, 65535); },
                     "damaged table: the header length is 65535 bytes, the file has only 211"},
        HostileFile {"NoTerminator", [](const std::string& image) { return withByte(image, 128, ' '); },
                     "damaged table: the field descriptors have no terminator"},
        HostileFile {"NoFields", [](const std::string& image) { return withLe16(withByte(image, 32, '\x0D'), 8, 33); },
                     "damaged table: the header has no field descriptors"},
        HostileFile {"NamelessField", [](const std::string& image) { return withByte(image, 64, '\0'); },
                     "damaged table: field descriptor 2 has no valid name"},
        HostileFile {"ControlByteInName", [](const std::string& image) { return withByte(image, 34, '\x01'); },
                     "damaged table: field descriptor 1 has no valid name"},
        HostileFile {"NoTypeLetter", [](const std::string& image) { return withByte(image, 96 + 11, '\0'); },
                     "damaged table: field descriptor 3 has no valid type letter"}),
    testing::CaseName());

#ifndef _WIN32
// A link named as the table, to a file that is no table (a copy of a system file), is refused as that file
// is, and the file it points to is left as it was.
TEST_F(HostileTableTest, LinkToAFileThatIsNoTableIsRefused)
{
    writeAll(path(), "root:x:0:0:root:/root:/bin/bash\ndaemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n");
    const std::string link = m_dir.path("tivora4.DBF");
    std::filesystem::create_symlink(path(), link);
    expectRefused(link, "it is not a table (it begins with the byte 0x72, no table's version byte)", false);
}
#endif

// What other writers put into sound tables still opens and reads as before: a header padded with 0x00
// after its terminator (the records begin where the header length says), and version bytes with flag
// bits set.
TEST_F(HostileTableTest, PaddedHeadersAndOtherVersionBytesOpen)
{
    const std::string table = threeRowTable(path());
    const std::string padded = withLe16(table.substr(0, 129), 8, 132) + std::string(3, '\0') + table.substr(129);
    for (const std::string& bytes : {padded, withByte(table, 0, '\x83'), withByte(table, 0, '\x8B')}) {
        writeAll(path(), bytes);
        std::vector<std::string> notices;
        TableOptions options;
        options.notice = [&notices](const std::string& text) { notices.push_back(text); };
        auto opened = OpenTableFile(path(), OpenMode::ReadOnly, IfMissing::Fail, {}, options);
        ASSERT_EQ(opened->rowCount(), 3U);
        RowBuffer row;
        opened->loadRow(3, row);
        EXPECT_EQ(DecodeField(row, opened->fields()[0]), FieldValue(std::string("Svoboda")));
        EXPECT_TRUE(notices.empty());
    }
}

} // namespace
} // namespace storage
