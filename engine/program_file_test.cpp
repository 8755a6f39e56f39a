#include "engine/errors.h"
#include "engine/program_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace engine {
namespace {

class ProgramFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path()
            / ("tivora_program_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string path(const char* name) const { return (m_dir / name).string(); }
    void writeBytes(const char* name, const std::string& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string readBytes(const char* name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path m_dir;
};

TEST_F(ProgramFileTest, LoneLineEndsBecomeCrLf)
{
    EXPECT_EQ(normalizeLineEnds("a\nb\rc\r\nd"), "a\r\nb\r\nc\r\nd");
    EXPECT_EQ(normalizeLineEnds("\n\n"), "\r\n\r\n");
    EXPECT_EQ(normalizeLineEnds("\r\r\n"), "\r\n\r\n");
    EXPECT_EQ(normalizeLineEnds("x\r"), "x\r\n");
}

TEST_F(ProgramFileTest, EncodingIsDetectedAndKept)
{
    const ProgramFile utf8 = decodeProgramFile("77 zkou\xC5\xA1ka.rtf\n");
    EXPECT_EQ(utf8.encoding, TextEncoding::Utf8);
    EXPECT_EQ(utf8.text, "77 zkouška.rtf\r\n");

    // "š" is 0x9A in code page 1250, which is not valid UTF-8 on its own.
    const ProgramFile ansi = decodeProgramFile("77 zkou\x9Aka.rtf\r\n88 \xE8tvrt\xFD.rtf");
    EXPECT_EQ(ansi.encoding, TextEncoding::Cp1250);
    EXPECT_EQ(ansi.text, "77 zkouška.rtf\r\n88 čtvrtý.rtf");
    EXPECT_EQ(encodeProgramFile(ansi.text, ansi.encoding), "77 zkou\x9Aka.rtf\r\n88 \xE8tvrt\xFD.rtf");

    // A byte-order mark is not part of line 0.
    const ProgramFile bom = decodeProgramFile("\xEF\xBB\xBF"
                                              "5\r\n");
    EXPECT_EQ(bom.encoding, TextEncoding::Utf8WithBom);
    EXPECT_EQ(bom.text, "5\r\n");
    EXPECT_EQ(encodeProgramFile("5\n", bom.encoding),
              "\xEF\xBB\xBF"
              "5\r\n");

    // Characters code page 1250 cannot hold are saved as "?".
    EXPECT_EQ(encodeProgramFile("a\xE2\x82\xAC\xE6\x97\xA5", TextEncoding::Cp1250), "a\x80?");
}

// Only a file that already is UTF-8 with something beyond ASCII, or has the byte-order mark, stays
// UTF-8; everything else keeps (or gets) the stations' code page 1250.
TEST_F(ProgramFileTest, PlainAsciiAndEmptyFilesStayInCodePage1250)
{
    for (const char* bytes : {"3\r\n2\r\n77 a.rtf\r\n88 b.rtf\r\n8", ""}) {
        const ProgramFile file = decodeProgramFile(bytes);
        EXPECT_EQ(file.encoding, TextEncoding::Cp1250) << bytes;
        EXPECT_EQ(file.text, bytes);
        // The first Czech letter typed in is saved as the stations read it.
        EXPECT_EQ(encodeProgramFile(file.text + "88 záv\xC4\x9Br.rtf", file.encoding),
                  std::string(bytes) + "88 z\xE1v\xECr.rtf");
    }
    EXPECT_EQ(ProgramFile {}.encoding, TextEncoding::Cp1250);
    EXPECT_EQ(decodeProgramFile("1\r\n88 z\xC3\xA1v\xC4\x9Br.rtf").encoding, TextEncoding::Utf8);
    EXPECT_EQ(decodeProgramFile("\xEF\xBB\xBF"
                                "1\r\n")
                  .encoding,
              TextEncoding::Utf8WithBom);
}

TEST_F(ProgramFileTest, SaveWritesCrLfAndNoExtraLineEnd)
{
    saveProgramFile(path("program.txt"), "1\n2\n77 a.rtf", TextEncoding::Utf8);
    EXPECT_EQ(readBytes("program.txt"), "1\r\n2\r\n77 a.rtf");
    saveProgramFile(path("program.txt"), "1\r\n", TextEncoding::Utf8);
    EXPECT_EQ(readBytes("program.txt"), "1\r\n");
    EXPECT_FALSE(std::filesystem::exists(path("program.txt.new")));
}

TEST_F(ProgramFileTest, LoadRoundTripsAnOldFile)
{
    writeBytes("program.txt", "3\n2\n77 pokra\xE8ov\xE1n\xED.rtf\n");
    const ProgramFile file = loadProgramFile(path("program.txt"));
    EXPECT_EQ(file.text, "3\r\n2\r\n77 pokračování.rtf\r\n");
    saveProgramFile(path("program.txt"), file.text, file.encoding);
    EXPECT_EQ(readBytes("program.txt"), "3\r\n2\r\n77 pokra\xE8ov\xE1n\xED.rtf\r\n");
}

TEST_F(ProgramFileTest, FailuresNameTheFile)
{
    try {
        loadProgramFile("no/such/program.txt");
        FAIL() << "a missing file must fail";
    } catch (const IoError& error) {
        EXPECT_STREQ(error.what(), "Cannot open file no/such/program.txt");
    }

    writeBytes("program.txt", "old");
    const std::string target = path("missing-dir/program.txt");
    try {
        saveProgramFile(target, "new", TextEncoding::Utf8);
        FAIL() << "saving into a missing directory must fail";
    } catch (const IoError& error) {
        EXPECT_EQ(error.what(), "Cannot create file " + target);
    }
    EXPECT_EQ(readBytes("program.txt"), "old");
}

} // namespace
} // namespace engine
