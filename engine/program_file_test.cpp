#include "base/hostile_files_test.h"
#include "engine/errors.h"
#include "engine/program_file.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace engine {
namespace {

class ProgramFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path()
            / ("tivora_program_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_"
               + testName());
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

private:
    static std::string testName()
    {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    }
};

// Test names from what a table row describes.
template<class Row>
std::string rowName(const ::testing::TestParamInfo<Row>& info)
{
    std::string name = info.param.kind;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

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
        EXPECT_EQ(error.what(), "Cannot create file " + target + ": No such file or directory");
    }
    EXPECT_EQ(readBytes("program.txt"), "old");
}

class HostileProgramFileTest : public ProgramFileTest, public ::testing::WithParamInterface<base::testing::HostileFile>
{ };

// Whatever stands where the program should be, the load returns at once with a message that names the
// file and what it is; nothing waits on a pipe or reads a device. Saving over it leaves it alone.
TEST_P(HostileProgramFileTest, IsRefusedWithTheReason)
{
    const base::testing::HostileFile& file = GetParam();
    const std::string path = file.make(m_dir);
    EXPECT_EQ(base::testing::failureOf([&] { loadProgramFile(path); }, file.unprivileged),
              "Cannot open file " + path + ": " + file.reason);
    if (file.outsideFolder || file.unprivileged) {
        return;
    }
    std::error_code error;
    const auto before = std::filesystem::symlink_status(path, error).type();
    EXPECT_EQ(base::testing::failureOf([&] { saveProgramFile(path, "1\n", TextEncoding::Utf8); }),
              "Cannot create file " + path + ": " + file.reason);
    EXPECT_EQ(std::filesystem::symlink_status(path, error).type(), before);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(path + ".new", error)));
}

INSTANTIATE_TEST_SUITE_P(Everywhere, HostileProgramFileTest, ::testing::ValuesIn(base::testing::hostileFiles()),
                         rowName<base::testing::HostileFile>);

// A program file of a given size and lines, and what loading it says (nothing: it loads).
struct SizedProgram
{
    const char* kind;
    std::string bytes;
    std::uintmax_t sparseSize = 0; // when set, the file is extended to this size with zeros, unwritten
    const char* detail = nullptr;
};

std::string repeated(const std::string& line, std::size_t times)
{
    std::string text;
    text.reserve(line.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        text += line;
    }
    return text;
}

// 32 bytes a line: 2048 lines fill the size limit exactly.
const std::string kLongLine = "77 " + std::string(27, 'a') + "\r\n";

class SizedProgramFileTest : public ProgramFileTest, public ::testing::WithParamInterface<SizedProgram>
{ };

// Up to the limits a program loads whole; one line or one byte more is refused, and a file beyond the
// size limit is refused before it is read, however large.
TEST_P(SizedProgramFileTest, LoadsUpToTheLimits)
{
    const SizedProgram& program = GetParam();
    writeBytes("program.txt", program.bytes);
    if (program.sparseSize) {
        std::filesystem::resize_file(path("program.txt"), program.sparseSize);
    }
    const std::string message = base::testing::failureOf([&] {
        const ProgramFile file = loadProgramFile(path("program.txt"));
        EXPECT_EQ(file.text, normalizeLineEnds(program.bytes));
    });
    EXPECT_EQ(message, program.detail ? "Cannot open file " + path("program.txt") + ": " + program.detail : "");
}

const char* const kTooLarge = "it is larger than 64 KB, more than any test program";

INSTANTIATE_TEST_SUITE_P(
    Limits, SizedProgramFileTest,
    ::testing::Values(SizedProgram {"10000 lines", repeated("1\r\n", 10000)},
                      SizedProgram {"10000 lines, the last without a line end", repeated("1\r\n", 9999) + "1"},
                      SizedProgram {"10001 lines", repeated("1\r\n", 10001), 0,
                                    "it has 10001 lines, more than the 10000 a test program may have"},
                      SizedProgram {"10001 lines, the last without a line end", repeated("1\r\n", 10000) + "1", 0,
                                    "it has 10001 lines, more than the 10000 a test program may have"},
                      SizedProgram {"60000 lone line ends", std::string(60000, '\n'), 0,
                                    "it has 60000 lines, more than the 10000 a test program may have"},
                      SizedProgram {"64 KB", repeated(kLongLine, 2048)},
                      SizedProgram {"one byte over 64 KB", repeated(kLongLine, 2048) + "1", 0, kTooLarge},
                      SizedProgram {"one long line over 64 KB", std::string(64 * 1024 + 1, '1'), 0, kTooLarge},
                      SizedProgram {"50 MB", "1\r\n", 50ULL << 20, kTooLarge},
                      SizedProgram {"4 GB", "1\r\n", 4ULL << 30, kTooLarge}),
    rowName<SizedProgram>);

// What is saved loads again: a program beyond the limits is not saved, and the old one stays.
TEST_F(ProgramFileTest, SaveRefusesWhatCouldNotBeLoaded)
{
    writeBytes("program.txt", "old");
    const std::string target = path("program.txt");
    EXPECT_EQ(base::testing::failureOf([&] { saveProgramFile(target, repeated("1\n", 10001), TextEncoding::Cp1250); }),
              "Cannot create file " + target + ": it has 10001 lines, more than the 10000 a test program may have");
    EXPECT_EQ(base::testing::failureOf([&] { saveProgramFile(target, std::string(70000, 'a'), TextEncoding::Utf8); }),
              "Cannot create file " + target + ": " + kTooLarge);
    // Czech letters take two bytes in UTF-8: the limit is on what is written.
    EXPECT_EQ(base::testing::failureOf(
                  [&] { saveProgramFile(target, repeated("\xC5\xA1", 32 * 1024 + 1), TextEncoding::Utf8); }),
              "Cannot create file " + target + ": " + kTooLarge);
    EXPECT_EQ(readBytes("program.txt"), "old");
    saveProgramFile(target, repeated("1\n", 10000), TextEncoding::Cp1250);
    EXPECT_EQ(loadProgramFile(target).text, repeated("1\r\n", 10000));
}

#ifndef _WIN32
// A program kept elsewhere and linked into the folder stays linked; the saved file keeps its permissions;
// a pipe left under the temporary name neither stops the save nor stays.
TEST_F(ProgramFileTest, SaveKeepsLinksAndPermissions)
{
    std::filesystem::create_directory(m_dir / "shared");
    writeBytes("shared/program.txt", "old");
    ::chmod(path("shared/program.txt").c_str(), 0640);
    std::filesystem::create_symlink("shared/program.txt", m_dir / "program.txt");
    ASSERT_EQ(::mkfifo(path("shared/program.txt.new").c_str(), 0666), 0);

    saveProgramFile(path("program.txt"), "1\n2", TextEncoding::Cp1250);
    EXPECT_TRUE(std::filesystem::is_symlink(m_dir / "program.txt"));
    EXPECT_EQ(readBytes("shared/program.txt"), "1\r\n2");
    struct stat status
    { };
    ASSERT_EQ(::stat(path("shared/program.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640U);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(m_dir / "shared/program.txt.new")));
}
#endif

} // namespace
} // namespace engine
