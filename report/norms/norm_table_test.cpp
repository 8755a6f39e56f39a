#include "report/norms/norm_table.h"
#include "report/report_error.h"
#include "storage/errors.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace report::norms {
namespace {

// A norm as a lab writes it by hand: a group per sex, a small one, an open band for both sexes, a measure
// without mean and SD.
const char* const kNorm = "tivora-norms,1\n"
                          "name,Test norm\n"
                          "version,1\n"
                          "source,Lab\n"
                          "collected_from,2024-01-01\n"
                          "collected_to,2025-12-31\n"
                          "lapse_ms,500\n"
                          "anticipation_ms,100\n"
                          "\n"
                          "age_from,age_to,sex,measure,n,flag,mean,sd,P10,P50,P90\n"
                          "18,24,M,mean_rt,40,,250,50,200,250,350\n"
                          "18,24,M,lapses,40,,,,0,1,3\n"
                          "18,24,F,mean_rt,25,small,260,40,210,260,330\n"
                          "25,,,speed,120,,3.2,0.4,2.5,3,4\n";

std::string errorOf(std::string_view bytes)
{
    try {
        parseNormTable(bytes);
    } catch (const ReportError& error) {
        return error.what();
    }
    return "(read)";
}

NormTable sampleTable()
{
    NormTable table;
    table.name = "Drivers, \"A\" stations";
    table.version = "2026.1";
    table.source = "Ústí lab; own tests";
    table.collectedFrom = {2024, 2, 29};
    table.collectedTo = {2025, 12, 31};
    table.lapseMs = 500.0;
    table.anticipationMs = 100.0;
    table.ranks = {1, 5, 50, 95, 99};
    NormGroup men {{18, 24}, Sex::Male, {}};
    men.measures.push_back({Measure::MeanRt, 412, 312.625, 41.0 / 3.0, {180.5, 200.0, 312.0, 401.25, 455.0}});
    men.measures.push_back({Measure::Speed, 411, 3.2051282051282053, 0.1, {2.0, 2.5, 3.2, 4.0, 4.4}});
    men.measures.push_back({Measure::Lapses, 412, std::nullopt, std::nullopt, {0, 0, 0, 2, 5}});
    NormGroup women {{18, 24}, Sex::Female, {}};
    women.measures.push_back({Measure::Premature, 12, 1.5, 1e-7, {0, 0, 1, 3, 1e9}});
    NormGroup older {{75, std::nullopt}, std::nullopt, {}};
    older.measures.push_back({Measure::SdRt, 30, 60.0, 12.0, {30, 40, 60, 90, 120}});
    table.groups = {men, women, older};
    return table;
}

TEST(NormTableTest, WrittenTableReadsBackTheSame)
{
    const NormTable table = sampleTable();
    for (const char delimiter : {',', ';'}) {
        const std::string written = formatNormTable(table, delimiter);
        EXPECT_EQ(parseNormTable(written), table) << written;
    }
}

TEST(NormTableTest, WriterLaysOutOneRowPerGroupAndMeasure)
{
    NormTable table = parseNormTable(kNorm);
    table.groups.resize(1);
    EXPECT_EQ(formatNormTable(table),
              "tivora-norms,1\r\n"
              "name,Test norm\r\n"
              "version,1\r\n"
              "source,Lab\r\n"
              "collected_from,2024-01-01\r\n"
              "collected_to,2025-12-31\r\n"
              "lapse_ms,500\r\n"
              "anticipation_ms,100\r\n"
              "\r\n"
              "age_from,age_to,sex,measure,n,flag,mean,sd,P10,P50,P90\r\n"
              "18,24,M,mean_rt,40,,250,50,200,250,350\r\n"
              "18,24,M,lapses,40,,,,0,1,3\r\n");
    table.groups[0].measures[0].mean = 250.5;
    EXPECT_EQ(formatNormTable(table, ';').substr(0, 15), "tivora-norms;1\r");
    EXPECT_NE(formatNormTable(table, ';').find("18;24;M;mean_rt;40;;250,5;50;200;250;350\r\n"), std::string::npos);
}

TEST(NormTableTest, ReadsWhatASpreadsheetSaves)
{
    // A byte-order mark, semicolons and decimal commas, every line padded to the widest, blanks around
    // fields, CRLF, and no line end at the end.
    const NormTable table = parseNormTable("\xEF\xBB\xBFtivora-norms;1;;;;;\r\n"
                                           "name;\"Řidiči; vlastní\";;;;;\r\n"
                                           "version; 2 ;;;;;\r\n"
                                           "source;Lab;;;;;\r\n"
                                           "collected_from;2024-01-01;;;;;\r\n"
                                           "collected_to;2024-12-31;;;;;\r\n"
                                           ";;;;;;\r\n"
                                           "age_from;age_to;sex;measure;n;flag;mean;sd;P25;P75\r\n"
                                           "18 ; 24;F;median_rt;31;;300,5;1,25e1;280;320,75");
    EXPECT_EQ(table.name, "Řidiči; vlastní");
    EXPECT_EQ(table.version, "2");
    EXPECT_FALSE(table.lapseMs);
    EXPECT_EQ(table.ranks, (std::vector<int> {25, 75}));
    ASSERT_EQ(table.groups.size(), 1U);
    EXPECT_EQ(table.groups[0].sex, Sex::Female);
    ASSERT_EQ(table.groups[0].measures.size(), 1U);
    const MeasureNorm& norm = table.groups[0].measures[0];
    EXPECT_EQ(norm.measure, Measure::MedianRt);
    EXPECT_EQ(norm.mean, 300.5);
    EXPECT_EQ(norm.sd, 12.5);
    EXPECT_EQ(norm.points, (std::vector<double> {280.0, 320.75}));
}

TEST(NormTableTest, TableThatBreaksTheFormatIsNotWritten)
{
    NormTable table = sampleTable();
    table.groups[0].measures[0].points[1] = 100.0;
    EXPECT_THROW(
        {
            try {
                formatNormTable(table);
            } catch (const ReportError& error) {
                EXPECT_STREQ(error.what(),
                             "the norm table cannot be written: line 11: P5 100 is below P1 180.5: "
                             "the points must not descend");
                throw;
            }
        },
        ReportError);
    table = sampleTable();
    table.name = " Drivers";
    EXPECT_THROW(formatNormTable(table), ReportError);
    table = sampleTable();
    table.groups[1].measures.clear();
    EXPECT_THROW(formatNormTable(table), ReportError);
}

TEST(NormTableTest, FileIsReadWithItsPathInTheMessages)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tivora_norm_table_test";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "norms.csv").string();
    std::ofstream(path, std::ios::binary) << formatNormTable(sampleTable());
    EXPECT_EQ(readNormTableFile(path), sampleTable());
    std::ofstream(path, std::ios::binary) << "tivora-norms,1\nname,x\n";
    try {
        readNormTableFile(path);
        ADD_FAILURE() << "a damaged file was read";
    } catch (const ReportError& error) {
        EXPECT_EQ(std::string(error.what()), path + ": end of file: no table header (a line beginning with age_from)");
    }
    std::filesystem::remove_all(folder);
    EXPECT_THROW(readNormTableFile(path), base::FileError);
}

struct Damage
{
    const char* name;
    int line;                // of kNorm, 1-based
    const char* replacement; // nullptr: the line is removed
    const char* message;
};

void PrintTo(const Damage& damage, std::ostream* out)
{
    *out << damage.name;
}

std::string damaged(const Damage& damage)
{
    std::istringstream lines(kNorm);
    std::string line;
    std::string result;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (number != damage.line) {
            result += line + "\n";
        } else if (damage.replacement) {
            result += std::string(damage.replacement) + "\n";
        }
    }
    return result;
}

class DamagedNormTableTest : public ::testing::TestWithParam<Damage>
{ };

TEST_P(DamagedNormTableTest, IsRefusedNamingLineAndFault)
{
    EXPECT_EQ(errorOf(damaged(GetParam())), GetParam().message);
}

TEST(DamagedNormTableTest, BaseIsANorm)
{
    EXPECT_EQ(errorOf(kNorm), "(read)");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DamagedNormTableTest,
    ::testing::Values(
        Damage {"NoMagic", 1, "tivora-norm,1", "line 1: not a norm table: it does not begin with tivora-norms"},
        Damage {"Empty", 1, "", "line 1: not a norm table: it does not begin with tivora-norms"},
        Damage {"NoDelimiter", 1, "tivora-norms 1",
                "line 1: tivora-norms is not followed by ',' or ';' and the format version"},
        Damage {"LaterVersion", 1, "tivora-norms,2", "line 1: format version '2' is not 1, the one this program reads"},
        Damage {"MoreOnFirstLine", 1, "tivora-norms,1,x", "line 1: the first line holds more than the format version"},
        Damage {"UnknownEntry", 2, "nmae,Test", "line 2: 'nmae' is no entry of a norm's description"},
        Damage {"EntryTwice", 3, "name,Other", "line 3: name is given twice (also on line 2)"},
        Damage {"EntryEmpty", 2, "name,", "line 2: name is empty"},
        Damage {"TwoValues", 2, "name,a,b", "line 2: name has more than one value"},
        Damage {"ControlCharacter", 2, "name,\"a\tb\"", "line 2: name holds a control character"},
        Damage {"NotUtf8", 2, "name,\xFF", "line 2: the line is not UTF-8 text"},
        Damage {"QuoteOpen", 2, "name,\"Test",
                "line 2: a quote is not closed on this line (a field never spans lines)"},
        Damage {"NoSuchDay", 5, "collected_from,2023-02-29",
                "line 5: collected_from '2023-02-29' is not a date written YYYY-MM-DD"},
        Damage {"DateFormat", 5, "collected_from,1.1.2024",
                "line 5: collected_from '1.1.2024' is not a date written YYYY-MM-DD"},
        Damage {"PeriodBackwards", 6, "collected_to,2023-12-31", "line 6: collected_to is before collected_from"},
        Damage {"LapseZero", 7, "lapse_ms,0", "line 7: lapse_ms '0' is not a number of milliseconds above 0"},
        Damage {"NoSource", 4, nullptr, "line 9: the norm's description before the table lacks source"},
        Damage {"NoHeader", 10, nullptr, "line 10: '18' is no entry of a norm's description"},
        Damage {"HeaderColumn", 10, "age_from,age_to,sex,measur,n,flag,mean,sd,P10,P50,P90",
                "line 10: column 4 of the header is 'measur', not measure"},
        Damage {"NoPercentileColumn", 10, "age_from,age_to,sex,measure,n,flag,mean,sd,P10,Q50,P90",
                "line 10: column 10 of the header is 'Q50', not a percentile point P1 to P99"},
        Damage {"P100", 10, "age_from,age_to,sex,measure,n,flag,mean,sd,P10,P50,P100",
                "line 10: column 11 of the header is 'P100', not a percentile point P1 to P99"},
        Damage {"RanksDescend", 10, "age_from,age_to,sex,measure,n,flag,mean,sd,P10,P50,P50",
                "line 10: P50 follows P50: the percentile points must ascend"},
        Damage {"OnePoint", 10, "age_from,age_to,sex,measure,n,flag,mean,sd,P10",
                "line 10: a norm needs at least two percentile points, the header gives 1"},
        Damage {"FieldMissing", 11, "18,24,M,mean_rt,40,,250,50,200,250", "line 11: 10 fields, not the header's 11"},
        Damage {"FieldTooMany", 11, "18,24,M,mean_rt,40,,250,50,200,250,350,400",
                "line 11: 12 fields, not the header's 11"},
        Damage {"AgeNotNumber", 11, "1x,24,M,mean_rt,40,,250,50,200,250,350",
                "line 11: age_from '1x' is not a whole number from 0 to 150"},
        Damage {"AgeTooHigh", 11, "18,151,M,mean_rt,40,,250,50,200,250,350",
                "line 11: age_to '151' is not a whole number from 0 to 150"},
        Damage {"AgesBackwards", 11, "18,17,M,mean_rt,40,,250,50,200,250,350",
                "line 11: age_to 17 is below age_from 18"},
        Damage {"Sex", 11, "18,24,X,mean_rt,40,,250,50,200,250,350",
                "line 11: sex 'X' is not M, F or empty (both sexes)"},
        Damage {"Measure", 11, "18,24,M,reaction,40,,250,50,200,250,350",
                "line 11: 'reaction' is no measure of a norm (mean_rt, median_rt, sd_rt, speed, lapses, "
                "anticipations, premature)"},
        Damage {"NZero", 11, "18,24,M,mean_rt,0,small,250,50,200,250,350",
                "line 11: n '0' is not a whole number above 0"},
        Damage {"NFraction", 11, "18,24,M,mean_rt,40.5,,250,50,200,250,350",
                "line 11: n '40.5' is not a whole number above 0"},
        Damage {"SmallNotFlagged", 13, "18,24,F,mean_rt,25,,260,40,210,260,330",
                "line 13: flag is empty, but n 25 is below 30: the row must be flagged small"},
        Damage {"FlaggedNotSmall", 11, "18,24,M,mean_rt,40,small,250,50,200,250,350",
                "line 11: flag is small, but n 40 is not below 30"},
        Damage {"FlagWord", 11, "18,24,M,mean_rt,40,tiny,250,50,200,250,350",
                "line 11: flag 'tiny' is neither small nor empty"},
        Damage {"MeanText", 11, "18,24,M,mean_rt,40,,abc,50,200,250,350", "line 11: mean 'abc' is not a number"},
        Damage {"MeanNan", 11, "18,24,M,mean_rt,40,,nan,50,200,250,350", "line 11: mean 'nan' is not a number"},
        Damage {"MeanInfinite", 11, "18,24,M,mean_rt,40,,1e999,50,200,250,350",
                "line 11: mean '1e999' is not a number"},
        Damage {"MeanAlone", 11, "18,24,M,mean_rt,40,,250,,200,250,350",
                "line 11: mean and sd are given together or not at all"},
        Damage {"SdZero", 11, "18,24,M,mean_rt,40,,250,0,200,250,350", "line 11: sd 0 is not above 0"},
        Damage {"PointText", 11, "18,24,M,mean_rt,40,,250,50,200,2 50,350", "line 11: P50 '2 50' is not a number"},
        Damage {"PointEmpty", 11, "18,24,M,mean_rt,40,,250,50,200,,350", "line 11: P50 is empty"},
        Damage {"PointNegative", 11, "18,24,M,mean_rt,40,,250,50,-1,250,350", "line 11: P10 -1 is negative"},
        Damage {"PointsDescend", 11, "18,24,M,mean_rt,40,,250,50,200,190,350",
                "line 11: P50 190 is below P10 200: the points must not descend"},
        Damage {"MeasureTwice", 12, "18,24,M,mean_rt,40,,250,50,200,250,350",
                "line 12: group 18-24, men has mean_rt twice (also on line 11)"},
        Damage {"OverlapSameSex", 13, "20,29,M,mean_rt,40,,250,50,200,250,350",
                "line 13: group 20-29, men overlaps group 18-24, men of line 11"},
        Damage {"OverlapBothSexes", 14, "24,,,speed,120,,3.2,0.4,2.5,3,4",
                "line 14: group 24 and over, both sexes overlaps group 18-24, men of line 11"},
        Damage {"LapsesWithoutThreshold", 7, nullptr, "line 11: lapses need lapse_ms in the norm's description"},
        Damage {"LongFieldCut", 11,
                "18,24,M,mean_rt,40,,250,50,200,250,3500000000000000000000000000000000000000000000000x",
                "line 11: P90 '3500000000000000000000000000000000000000...' is not a number"}),
    [](const ::testing::TestParamInfo<Damage>& param) { return std::string(param.param.name); });

TEST(DamagedNormTableTest, TableWithoutRowsIsRefused)
{
    const std::string norm = kNorm;
    EXPECT_EQ(errorOf(norm.substr(0, norm.find("18,24"))), "end of file: the table has no rows");
    EXPECT_EQ(errorOf("tivora-norms,1\nname,x\n"), "end of file: no table header (a line beginning with age_from)");
}

} // namespace
} // namespace report::norms
