#include "engine/errors.h"
#include "engine/program_check.h"
#include "engine/program_file.h"
#include "text/messages.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace engine {
namespace {

// Instruction files that exist; loading any other fails as the viewer's loader does.
const std::set<std::string> kFiles = {"b.rtf", "c.rtf", "tivora2.rtf", "tivora3.rtf", "pokračování.rtf"};

struct Check
{
    explicit Check(const std::string& text)
        : program(text)
    {
        fault = checkProgram(program, [this](const std::string& name) {
            loaded.push_back(name);
            if (kFiles.count(name) == 0) {
                throw IoError(text::formatMessage(text::messages::kCannotOpenFile, {name}));
            }
        });
    }

    TestProgram program;
    std::vector<std::string> loaded;
    std::optional<ProgramFault> fault;
};

// `lines` joined by CR LF, each line ended.
std::string programOf(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// A valid program: 3 practice trials, start marker, `trials` measured ones, end marker, `counts`.
std::vector<std::string> standard(int trials, const std::vector<std::string>& counts)
{
    std::vector<std::string> lines = {"1", "2", "1", "77 b.rtf"};
    for (int i = 0; i < trials; ++i) {
        lines.push_back(std::to_string(1 + i % 9));
    }
    lines.push_back("88 c.rtf");
    lines.insert(lines.end(), counts.begin(), counts.end());
    return lines;
}

// Every program the test runs through to its evaluation passes, as it is, and only its marker files
// are loaded.
TEST(ProgramCheckTest, ValidProgramsPass)
{
    const ProgramFile sample = loadProgramFile(SAMPLE_DIR "/program.txt");
    const Check sampleCheck(sample.text);
    EXPECT_FALSE(sampleCheck.fault) << sampleCheck.fault->message;
    EXPECT_EQ(sampleCheck.loaded, (std::vector<std::string> {"tivora2.rtf", "tivora3.rtf"}));

    const std::vector<std::string> valid = {
        // the end-to-end test's program and the engine's scripted test
        "1\r\n3\r\n1\r\n77 tivora2.rtf\r\n1\r\n3\r\n1\r\n4\r\n88 tivora3.rtf\r\n2\r\n2\r\n",
        "2\r\n1\r\n3\r\n77 tivora2.rtf\r\n1\r\n2\r\n1\r\n3\r\n1\r\n4\r\n88 tivora3.rtf\r\n3\r\n2\r\n",
        // four practice trials; first foreperiods of a block of any length, 0 s foreperiods; lone LF
        "12\n0\n1\n1\n77 b.rtf\n15\n0\n88 c.rtf\n2",
        // counts as the integer conversion reads them, a series of 0, a last series of -1, blank lines at
        // the very end, trials beyond the counted ones
        programOf(standard(12, {" 3", "0", "+4", "$2"})),
        programOf(standard(12, {"5", "-1", "", " "})),
        programOf(standard(2, {"1"})),
        // a Czech file name, the separator may be any character, the largest program a test holds
        programOf({"1", "1", "1", "77xpokračování.rtf", "1", "1", "88-c.rtf", "2"}),
        programOf(standard(117, {"100", "17"})),
    };
    for (const std::string& text : valid) {
        const Check check(text);
        EXPECT_FALSE(check.fault) << text << "\n" << check.fault->message;
        EXPECT_EQ(check.loaded.size(), 2U) << text;
    }
}

struct Refusal
{
    std::string name;
    std::string program;
    int line;
    std::string message;
};

class ProgramRefusalTest : public ::testing::TestWithParam<Refusal>
{ };

TEST_P(ProgramRefusalTest, NamesTheLineAndTheFault)
{
    const Refusal& refusal = GetParam();
    const Check check(refusal.program);
    ASSERT_TRUE(check.fault) << refusal.program;
    EXPECT_EQ(check.fault->line, refusal.line);
    EXPECT_EQ(check.fault->message,
              "Chybný program  !!  řádek " + std::to_string(refusal.line) + ": " + refusal.message);
}

// A program with `line` in place of line `at` (from 0) of standard(4, {"2", "2"}).
std::string replaced(int at, const std::string& line)
{
    std::vector<std::string> lines = standard(4, {"2", "2"});
    lines.at(static_cast<std::size_t>(at)) = line;
    return programOf(lines);
}

// Lines 0-2 practice, 3 start marker, 4-7 measured, 8 end marker, 9-10 counts.
const Refusal kRefusals[] = {
    // Series-count lines, read only when the closing screen is confirmed.
    {"CountWithTrailingSpace", replaced(10, "2 "), 11, "počet pokusů série „2 “ není celé číslo"},
    {"CountWithATypo", replaced(9, "2O"), 10, "počet pokusů série „2O“ není celé číslo"},
    {"BlankLineBetweenCounts", programOf(standard(4, {"2", "", "2"})), 11, "počet pokusů série „“ není celé číslo"},
    {"NoCountLines", programOf(standard(4, {})), 10, "za značkou 88 chybí počty pokusů sérií"},
    {"OnlyBlankLinesAfterTheEnd", programOf(standard(4, {"", " "})), 10, "za značkou 88 chybí počty pokusů sérií"},
    {"FiveCountLines", programOf(standard(8, {"2", "2", "2", "1", "1"})), 18, "nejvýše 4 řádky s počty pokusů sérií"},
    {"SeriesPastTheLastTrial", programOf(standard(4, {"3", "2"})), 11,
     "série 2 by sahala za poslední měřený pokus (řádek 8)"},
    {"OneSeriesPastTheLastTrial", programOf(standard(4, {"1000"})), 10,
     "série 1 by sahala za poslední měřený pokus (řádek 8)"},
    {"SeriesBeforeTheFirstTrial", programOf(standard(4, {"-2", "3"})), 11,
     "série 2 by začínala před prvním měřeným pokusem (řádek 5)"},
    // Foreperiod lines, as the trial machine reads them.
    {"EmptyProgram", "", 1, "program končí bez značky 88"},
    {"EmptyLineInABlock", replaced(5, ""), 6, "předperioda „“ není celé číslo"},
    {"LetterAsForeperiod", replaced(1, "x"), 2, "předperioda „x“ není celé číslo"},
    {"NegativeFirstForeperiod", replaced(0, "-3"), 1, "předperioda „-3“ musí být 0 až 2147483 s"},
    {"FirstForeperiodTooLong", replaced(4, "2147484"), 5, "předperioda „2147484“ musí být 0 až 2147483 s"},
    {"TwoDigitsWithinABlock", replaced(6, "10"), 7, "„10“ není předperioda (jedna číslice) ani značka 77 nebo 88"},
    {"WordWithinABlock", replaced(1, "ab"), 2, "„ab“ není předperioda (jedna číslice) ani značka 77 nebo 88"},
    {"TrialsPastTheLastLine", programOf(standard(120, {"20"})), 122, "test pojme pokusy jen na řádcích 1 až 121"},
    // Markers.
    {"StartMarkerOnLine3", programOf({"1", "1", "77 b.rtf", "1", "1", "1", "88 c.rtf", "1"}), 3,
     "značka 77 musí být na řádku 4 nebo 5"},
    {"StartMarkerOnLine1", programOf({"77 b.rtf", "1", "1", "1", "1", "1", "88 c.rtf", "1"}), 1,
     "značka 77 musí být na řádku 4 nebo 5"},
    {"StartMarkerOnLine6", programOf({"1", "1", "1", "1", "1", "77 b.rtf", "1", "1", "88 c.rtf", "1"}), 6,
     "značka 77 musí být na řádku 4 nebo 5"},
    {"SecondStartMarker", replaced(6, "77 b.rtf"), 7, "značka 77 musí být na řádku 4 nebo 5"},
    {"NoStartMarker", programOf({"1", "1", "1", "1", "1", "1", "88 c.rtf", "2"}), 7,
     "značce 88 musí předcházet značka 77 na řádku 4 nebo 5"},
    {"EndMarkerOnLine6", programOf({"1", "1", "1", "77 b.rtf", "1", "88 c.rtf", "1"}), 6,
     "značka 88 musí být nejdříve na řádku 7"},
    {"EndMarkerRightAfterTheStart", programOf({"1", "1", "1", "77 b.rtf", "88 c.rtf", "1"}), 5,
     "značka 88 musí být nejdříve na řádku 7"},
    {"NoEndMarker", programOf({"1", "1", "1", "77 b.rtf", "1", "1"}), 7, "program končí bez značky 88"},
    // Instruction files, loaded as the viewer loads them.
    {"EndFileMissing", replaced(8, "88 konec.rtf"), 9, "soubor „konec.rtf“ nelze načíst (Cannot open file konec.rtf)"},
    {"StartFileInOtherCase", replaced(3, "77 B.rtf"), 4, "soubor „B.rtf“ nelze načíst (Cannot open file B.rtf)"},
    {"MarkerWithoutAName", replaced(3, "77"), 4, "soubor „“ nelze načíst (Cannot open file )"},
};

INSTANTIATE_TEST_SUITE_P(Rules, ProgramRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& param) { return param.param.name; });

// The check only reads: a refused program is not changed, and the first fault on the way is the one named.
TEST(ProgramCheckTest, FirstFaultOnTheWayIsNamed)
{
    std::vector<std::string> lines = standard(4, {"2 ", "2"});
    lines[8] = "88 konec.rtf";
    lines[5] = "x";
    const Check check(programOf(lines));
    ASSERT_TRUE(check.fault);
    EXPECT_EQ(check.fault->line, 6);
    EXPECT_EQ(check.program.line(5), "x");
    EXPECT_EQ(check.loaded, std::vector<std::string> {"b.rtf"});
}

} // namespace
} // namespace engine
