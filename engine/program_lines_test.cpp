#include "engine/program_lines.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

TEST(TestProgramTest, LinesAndTheFinalLineEnd)
{
    EXPECT_EQ(TestProgram("").lineCount(), 0);
    EXPECT_EQ(TestProgram("5").lineCount(), 1);
    EXPECT_EQ(TestProgram("5\r\n").lineCount(), 1);
    const TestProgram program("5\r\n\r\n77 a.rtf\n3\r4");
    ASSERT_EQ(program.lineCount(), 5);
    EXPECT_EQ(program.line(0), "5");
    EXPECT_EQ(program.line(1), "");
    EXPECT_EQ(program.line(2), "77 a.rtf");
    EXPECT_EQ(program.line(3), "3");
    EXPECT_EQ(program.line(4), "4");
}

TEST(TestProgramTest, ReadingOutsideGivesEmptyLines)
{
    const TestProgram program("1\r\n2\r\n");
    EXPECT_EQ(program.line(2), "");
    EXPECT_EQ(program.line(1000), "");
    EXPECT_EQ(program.line(-1), "");
}

TEST(LineKindTest, FirstTwoCharactersAndLengthDecide)
{
    EXPECT_EQ(lineKind(""), LineKind::Foreperiod);
    EXPECT_EQ(lineKind("7"), LineKind::Foreperiod);
    EXPECT_EQ(lineKind("x"), LineKind::Foreperiod);
    EXPECT_EQ(lineKind("ž"), LineKind::Foreperiod); // one character, two bytes
    EXPECT_EQ(lineKind("77"), LineKind::StartMarker);
    EXPECT_EQ(lineKind("77 tivora2.rtf"), LineKind::StartMarker);
    EXPECT_EQ(lineKind("771"), LineKind::StartMarker);
    EXPECT_EQ(lineKind("88 konec.rtf"), LineKind::EndMarker);
    EXPECT_EQ(lineKind("10"), LineKind::Other);
    EXPECT_EQ(lineKind(" 77"), LineKind::Other);
    EXPECT_EQ(lineKind("78"), LineKind::Other);
}

TEST(LineKindTest, MarkerFileNameSkipsTheSeparator)
{
    EXPECT_EQ(markerFileName("77 tivora2.rtf"), "tivora2.rtf");
    EXPECT_EQ(markerFileName("77_tivora2.rtf"), "tivora2.rtf");
    EXPECT_EQ(markerFileName("88 závěr.rtf"), "závěr.rtf");
    EXPECT_EQ(markerFileName("88žkonec"), "konec");
    EXPECT_EQ(markerFileName("77 "), "");
    EXPECT_EQ(markerFileName("77"), "");
}

} // namespace
} // namespace engine
