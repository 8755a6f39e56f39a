#include "report/norms/norm_builder.h"
#include "report/report_error.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

namespace report::norms {
namespace {

// A stored test as the builder gets it, kept alive for the views a NormTest holds.
struct StoredForNorm
{
    std::string rc1;
    std::string rc2;
    std::string date;
    TestAnalysis analysis;
    std::uint32_t record = 0;
};

TestAnalysis analysisOf(const std::vector<double>& rtMs, std::int64_t premature, bool broken = false)
{
    TestAnalysis analysis;
    analysis.all = computeStatistics(rtMs, Thresholds {});
    analysis.all.premature = premature;
    analysis.allValid = !broken;
    if (broken) {
        analysis.issues.push_back({IssueKind::ListCharacter, 1, "SER1A", "x", 3, 0, 0});
    }
    return analysis;
}

NormBuild build(std::vector<StoredForNorm>& tests, BuildOptions options = {})
{
    options.name = options.name.empty() ? "Local" : options.name;
    options.version = "1";
    options.source = "own tests";
    options.currentYear = 2026;
    NormBuilder builder(options);
    for (std::size_t i = 0; i < tests.size(); ++i) {
        tests[i].record = tests[i].record == 0 ? static_cast<std::uint32_t>(i + 1) : tests[i].record;
        builder.add({tests[i].record, tests[i].rc1, tests[i].rc2, tests[i].date, &tests[i].analysis});
    }
    return builder.finish();
}

TEST(NormBuilderTest, EachTestLeftOutIsNamedByRow)
{
    // 000615/0001 and 005615/0006: born 2000-06-15 (a man, a woman); 100615/0002 a man born 2010-06-15
    // (100615000 mod 11 = 2).
    std::vector<StoredForNorm> tests = {
        {"000615", "0001", "10.3.2025", analysisOf({300, 320}, 0)}, // 1: a retest of row 2
        {"000615", "0001", " 1.3.2025", analysisOf({250, 260}, 1)}, // 2: the man's first test
        {"000615", "0002", " 1.3.2025", analysisOf({250}, 0)},      // 3: check digit wrong
        {"005615", "0006", " 2.3.2025", analysisOf({}, 0, true)},   // 4: broken, her first test
        {"005615", "0006", " 3.3.2025", analysisOf({250}, 0)},      // 5: a retest of row 4
        {"005615", "0006", "  .  .    ", analysisOf({250}, 0)},     // 6: no date
        {"100615", "0002", " 1.3.2025", analysisOf({250}, 0)},      // 7: aged 14
        {"000615", "0001", "31.12.2023", analysisOf({250}, 0)},     // 8: before the period
        {"000615", "0001", " 1.3.2025", analysisOf({900}, 0)},      // 9: same day as row 2, stored later
        {"530101", "0000", " 1.3.2025", analysisOf({250}, 0)},      // 10: born 2053
    };
    BuildOptions options;
    options.from = CalendarDate {2024, 1, 1};
    const NormBuild built = build(tests, options);
    EXPECT_EQ(built.summary.people, 1U);
    std::vector<std::string> lines;
    for (const ExcludedTest& excluded : built.summary.exclusions) {
        lines.push_back(describeExclusion(excluded));
    }
    EXPECT_EQ(lines,
              (std::vector<std::string> {"row 1: a retest of the person first tested in row 2",
                                         "row 3: the birth number is not divisible by 11", "row 4: the row has errors",
                                         "row 5: a retest of the person first tested in row 4",
                                         "row 6: the test date cannot be read", "row 7: age 14 lies in no age band",
                                         "row 8: taken outside the period",
                                         "row 9: a retest of the person first tested in row 2",
                                         "row 10: the birth number's date is after the test day"}));
    EXPECT_EQ(
        describeSummary(built.summary),
        (std::vector<std::string> {
            "10 tests, 1 people in the norm", "1 tests with a test date that cannot be read left out",
            "1 tests taken outside the period left out", "1 tests with an invalid birth number left out",
            "1 tests dated before the birth number's date left out",
            "3 tests that are retests (a person counts once, by the first test in the "
            "period) left out",
            "1 tests with errors in their rows left out", "1 tests of people whose age lies in no age band left out"}));
    // The one man is a group of one: kept, flagged small, with no spread for a T-score.
    ASSERT_EQ(built.table.groups.size(), 1U);
    EXPECT_EQ(describeGroup(built.table.groups[0]), "18-24, men");
    const MeasureNorm& mean = *built.table.groups[0].find(Measure::MeanRt);
    EXPECT_EQ(mean.n, 1U);
    EXPECT_TRUE(mean.small());
    EXPECT_FALSE(mean.sd);
    EXPECT_EQ(mean.points, std::vector<double>(99, 255.0));
    EXPECT_EQ(built.table.collectedFrom, (CalendarDate {2025, 3, 1}));
    EXPECT_EQ(built.table.collectedTo, (CalendarDate {2025, 3, 1}));
    EXPECT_EQ(parseNormTable(formatNormTable(built.table)), built.table);
}

TEST(NormBuilderTest, NobodyCountedGivesAnEmptyTableThatIsNotWritten)
{
    std::vector<StoredForNorm> tests = {{"000615", "0002", " 1.3.2025", analysisOf({250}, 0)}};
    const NormBuild built = build(tests);
    EXPECT_TRUE(built.table.groups.empty());
    EXPECT_THROW(formatNormTable(built.table), ReportError);
}

// A generated test and what the generator knows about it, to count it independently of the builder.
struct Generated
{
    StoredForNorm stored;
    std::string person; // the birth number's digits; empty when it is made invalid
    CalendarDate day;
    bool dated = true;
    int age = 0;
    Sex sex = Sex::Male;
    bool broken = false;
};

class Population
{
public:
    // People aged 14 to 85 whose reaction times grow with age (and a little for women), a quarter of them
    // retested later with faster times, some on the same day; some with broken rows, a test before the
    // period, invalid birth numbers, or an unreadable date.
    std::vector<Generated> make(int people)
    {
        std::vector<Generated> tests;
        for (int i = 0; i < people; ++i) {
            const int year = 2024 + below(2);
            const CalendarDate first {year, 1 + below(year == 2024 ? 12 : 11), 1 + below(28)};
            const int age = 15 + below(71);
            const Sex sex = below(2) == 0 ? Sex::Male : Sex::Female;
            const CalendarDate birth {first.year - age, 1 + below(12), 1 + below(28)};
            const auto [rc1, rc2] = birthNumber(birth, sex);
            const auto test = [&](CalendarDate day, double slower, bool broken) {
                Generated generated {{rc1, rc2, date(day), analysis(250 + 2.0 * age + slower, broken)},
                                     rc1 + rc2,
                                     day,
                                     true,
                                     ageAt(birth, day),
                                     sex,
                                     broken};
                generated.stored.rc2 += rc2.size() == 3 ? " " : ""; // the blank the data window stores
                tests.push_back(generated);
            };
            test(first, sex == Sex::Female ? 10 : 0, below(33) == 0);
            if (below(4) == 0) {
                const bool december = first.month == 12;
                test({first.year + (december ? 1 : 0), december ? 1 : first.month + 1, 1 + below(28)}, -50, false);
            }
            if (below(30) == 0) {
                test(first, -80, false);
            }
            if (below(50) == 0) {
                test({2023, 12, 31}, -90, false);
            }
            if (below(20) == 0) {
                tests.push_back(tests.back());
                Generated& invalid = tests.back();
                if (invalid.person.size() == 9) {
                    invalid.stored.rc1.pop_back(); // a digit missing
                } else {
                    char& check = invalid.stored.rc2[3];
                    check = static_cast<char>(check == '9' ? '0' : check + 1);
                }
                invalid.person.clear();
            }
            if (below(200) == 0) {
                tests.push_back(tests.back());
                tests.back().stored.date = "  .  .    ";
                tests.back().dated = false;
            }
        }
        std::shuffle(tests.begin(), tests.end(), m_random);
        for (std::size_t i = 0; i < tests.size(); ++i) {
            tests[i].stored.record = static_cast<std::uint32_t>(i + 1);
        }
        return tests;
    }

private:
    int below(int n) { return static_cast<int>(static_cast<double>(m_random() >> 11) * 0x1.0p-53 * n); }

    std::pair<std::string, std::string> birthNumber(const CalendarDate& birth, Sex sex)
    {
        char first[16];
        std::snprintf(first, sizeof first, "%02d%02d%02d", birth.year % 100,
                      birth.month + (sex == Sex::Female ? 50 : 0), birth.day);
        for (;;) {
            char serial[16];
            std::snprintf(serial, sizeof serial, "%03d", below(1000));
            const long long nine = std::stoll(std::string(first) + serial);
            std::string second = serial;
            if (birth.year >= 1954) {
                if (nine % 11 == 10) {
                    continue;
                }
                second += static_cast<char>('0' + nine % 11);
            }
            if (m_used.insert(first + second).second) {
                return {first, second};
            }
        }
    }

    static int ageAt(const CalendarDate& birth, const CalendarDate& day)
    {
        const bool before = day.month < birth.month || (day.month == birth.month && day.day < birth.day);
        return day.year - birth.year - (before ? 1 : 0);
    }

    static std::string date(const CalendarDate& day)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%2d.%2d.%04d", day.day, day.month, day.year);
        return text;
    }

    TestAnalysis analysis(double base, bool broken)
    {
        std::vector<double> rts;
        for (int trial = 0; trial < 20; ++trial) {
            const int kind = below(100);
            rts.push_back(kind < 5 ? 500 + below(200) : kind < 7 ? 50 + below(50) : base - 60 + below(120));
        }
        return analysisOf(rts, below(3), broken);
    }

    std::mt19937_64 m_random {20260512};
    std::set<std::string> m_used;
};

// R's quantile type 7, from its documentation: with the sample sorted as x[1..n], h = (n - 1) p + 1 and
// Q(p) = x[floor h] + (h - floor h) (x[floor h + 1] - x[floor h]).
double quantileType7(std::vector<double> x, double p)
{
    std::sort(x.begin(), x.end());
    const double h = static_cast<double>(x.size() - 1) * p + 1.0;
    const auto j = static_cast<std::size_t>(std::floor(h));
    return j >= x.size() ? x.back() : x[j - 1] + (h - std::floor(h)) * (x[j] - x[j - 1]);
}

std::vector<double> oracleValues(const std::vector<const Generated*>& people, Measure measure)
{
    std::vector<double> values;
    for (const Generated* test : people) {
        const Statistics& s = test->stored.analysis.all;
        const std::array<double, 7> all = {*s.mean,
                                           *s.median,
                                           *s.sd,
                                           *s.speed,
                                           static_cast<double>(s.lapses),
                                           static_cast<double>(s.anticipations),
                                           static_cast<double>(*s.premature)};
        values.push_back(all[static_cast<std::size_t>(measure)]);
    }
    return values;
}

TEST(NormBuilderTest, GeneratedTestsGiveTheIndependentlyComputedNorm)
{
    std::vector<Generated> generated = Population().make(2500);
    std::vector<StoredForNorm> tests;
    for (const Generated& test : generated) {
        tests.push_back(test.stored);
    }
    BuildOptions options;
    options.from = CalendarDate {2024, 1, 1};
    options.to = CalendarDate {2025, 12, 31};
    const NormBuild built = build(tests, options);

    // The same counting, from what the generator knows.
    std::map<std::string, const Generated*> first;
    std::array<std::size_t, kExclusionKinds> excluded {};
    const auto count = [&](Exclusion why) { ++excluded[static_cast<std::size_t>(why)]; };
    for (const Generated& test : generated) {
        if (!test.dated) {
            count(Exclusion::DateUnreadable);
        } else if (test.day.year < 2024) {
            count(Exclusion::OutsidePeriod);
        } else if (test.person.empty()) {
            count(Exclusion::BirthNumberInvalid);
        } else if (const Generated*& person = first[test.person]; !person) {
            person = &test;
        } else {
            count(Exclusion::Retest);
            const auto key = [](const Generated* t) { return std::pair(t->day, t->stored.record); };
            person = key(&test) < key(person) ? &test : person;
        }
    }
    std::map<std::pair<int, Sex>, std::vector<const Generated*>> groups; // by band's first age
    for (const auto& [digits, test] : first) {
        if (test->broken) {
            count(Exclusion::BrokenRow);
        } else if (test->age < 18) {
            count(Exclusion::OutsideBands);
        } else {
            groups[{test->age < 25 ? 18 : std::min(75, 25 + (test->age - 25) / 10 * 10), test->sex}].push_back(test);
        }
    }
    EXPECT_EQ(built.summary.excluded, excluded);
    EXPECT_GT(excluded[static_cast<std::size_t>(Exclusion::Retest)], 600U);
    EXPECT_GT(excluded[static_cast<std::size_t>(Exclusion::BirthNumberInvalid)], 100U);
    EXPECT_GT(excluded[static_cast<std::size_t>(Exclusion::BrokenRow)], 50U);
    EXPECT_EQ(built.summary.tests, generated.size());

    ASSERT_EQ(built.table.groups.size(), groups.size());
    std::size_t people = 0;
    for (const auto& [key, members] : groups) {
        people += members.size();
        const NormGroup* group = built.table.groupFor(key.first, key.second);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->ages.from, key.first);
        for (const Measure measure : kMeasures) {
            const MeasureNorm* norm = group->find(measure);
            ASSERT_NE(norm, nullptr);
            EXPECT_EQ(norm->n, members.size());
            const std::vector<double> values = oracleValues(members, measure);
            for (int rank = 1; rank <= 99; ++rank) {
                const double expected = quantileType7(values, rank / 100.0);
                EXPECT_NEAR(norm->points[static_cast<std::size_t>(rank - 1)], expected, 1e-9 * (1 + expected))
                    << describeGroup(*group) << " " << measureName(measure) << " P" << rank;
            }
        }
    }
    EXPECT_EQ(built.summary.people, people);
    // Reaction times grow with age by construction: the medians of the mean RT of the bands ascend.
    const auto median = [&](int from) { return built.table.groupFor(from, Sex::Male)->measures[0].points[49]; };
    EXPECT_LT(median(18), median(45));
    EXPECT_LT(median(45), median(75));
    EXPECT_EQ(parseNormTable(formatNormTable(built.table)), built.table);
}

TEST(NormBuilderTest, WithoutSexABandIsOneGroup)
{
    std::vector<Generated> generated = Population().make(300);
    std::vector<StoredForNorm> tests;
    for (const Generated& test : generated) {
        tests.push_back(test.stored);
    }
    const NormBuild bySex = build(tests);
    BuildOptions options;
    options.bySex = false;
    options.bands = parseAgeBands("18-44,45+");
    const NormBuild together = build(tests, options);
    ASSERT_EQ(together.table.groups.size(), 2U);
    std::size_t young = 0;
    for (const NormGroup& group : bySex.table.groups) {
        young += group.ages.from < 45 ? group.measures[0].n : 0;
    }
    EXPECT_FALSE(together.table.groups[0].sex);
    EXPECT_EQ(together.table.groups[0].measures[0].n, young);
    EXPECT_EQ(together.table.groups[0].measures[0].n + together.table.groups[1].measures[0].n, together.summary.people);
}

struct BandsCase
{
    const char* text;
    const char* message; // nullptr: accepted
};

class AgeBandsTest : public ::testing::TestWithParam<BandsCase>
{ };

TEST_P(AgeBandsTest, AreReadOrRefused)
{
    try {
        const std::vector<AgeBand> bands = parseAgeBands(GetParam().text);
        EXPECT_EQ(GetParam().message, nullptr) << GetParam().text;
    } catch (const ReportError& error) {
        ASSERT_NE(GetParam().message, nullptr) << error.what();
        EXPECT_STREQ(error.what(), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AgeBandsTest,
    ::testing::Values(
        BandsCase {"18-24,25-34,35-44,45-54,55-64,65-74,75+", nullptr}, BandsCase {"0-150", nullptr},
        BandsCase {" 18-29 , 30+", nullptr},
        BandsCase {"", "age bands: '' is neither A-B nor A+ in whole years up to 150"},
        BandsCase {"18-24,", "age bands: '' is neither A-B nor A+ in whole years up to 150"},
        BandsCase {"18", "age bands: '18' is neither A-B nor A+ in whole years up to 150"},
        BandsCase {"18-x", "age bands: '18-x' is neither A-B nor A+ in whole years up to 150"},
        BandsCase {"18-151", "age bands: '18-151' is neither A-B nor A+ in whole years up to 150"},
        BandsCase {"30-18", "age bands: a band must lie within 0 to 150 years, ending at or after its start"},
        BandsCase {"18-30,30-40", "age bands: they must ascend without overlapping, and only the last may be open"},
        BandsCase {"30-40,18-29", "age bands: they must ascend without overlapping, and only the last may be open"},
        BandsCase {"18+,70-80", "age bands: they must ascend without overlapping, and only the last may be open"}));

} // namespace
} // namespace report::norms
