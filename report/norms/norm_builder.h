#pragma once

#include "report/analysis.h"
#include "report/birth_number.h"
#include "report/date_field.h"
#include "report/norms/norm_table.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Local norms from a lab's own tests: each person once, by the first test of their birth number in the
// chosen period (a retest is taken after practice, and would weigh twice), placed in an age band (and by
// default a sex) by the birth number and the test day. Tests that cannot be placed or measured are left
// out and counted, never guessed at.
namespace report::norms {

// 18-24, 25-34, 35-44, 45-54, 55-64, 65-74, 75 and over: adult drivers and workers in ten-year steps.
std::vector<AgeBand> defaultAgeBands();

// Age bands written "18-24,25-34,75+" (a band "A-B" from A to B years, "A+" from A on). Throws ReportError
// "age bands: <what>" unless they are whole numbers up to kMaxAge, ascending, not overlapping, with an
// open band only at the end.
std::vector<AgeBand> parseAgeBands(std::string_view text);

struct BuildOptions
{
    std::string name; // the norm's name, version and source as the table will carry them (see NormTable)
    std::string version;
    std::string source;
    std::vector<AgeBand> bands = defaultAgeBands(); // as parseAgeBands() accepts them
    bool bySex = true;                              // a group per band and sex; false: both sexes together
    std::optional<CalendarDate> from;               // the period, both days included; open where not given
    std::optional<CalendarDate> to;
    DateOrder dateOrder = DateOrder::DayMonth; // how the tests' DATE texts are read (see parseTestDate())
    int currentYear = 2000;
    // What the analyses counted lapses and anticipations with; the table says so.
    Thresholds thresholds;
};

// One stored test, as the builder needs it.
struct NormTest
{
    std::uint32_t record = 0; // the row, for the list of tests left out
    std::string_view birthNumber1;
    std::string_view birthNumber2;
    std::string_view date;           // the DATE text
    const TestAnalysis* analysis {}; // its analysis; only read during add()
};

// Why a test is not in the norm, in the order they are looked at.
enum class Exclusion {
    DateUnreadable,     // its date gives no day of the calendar
    OutsidePeriod,      // taken outside the chosen period
    BirthNumberInvalid, // see `birthNumberIssue`
    BornAfterTest,      // the birth number's date is after the test day
    Retest,             // the person has an earlier test in the period (`firstRecord`)
    BrokenRow,          // the person's first test has errors in its row, or a series that cannot be read
    NoReactionTimes,    // the person's first test has no measured reaction times
    OutsideBands,       // the person's age at the first test lies in no band
};
inline constexpr std::size_t kExclusionKinds = 8;

struct ExcludedTest
{
    std::uint32_t record = 0;
    Exclusion why = Exclusion::DateUnreadable;
    std::optional<BirthNumberIssue> birthNumberIssue; // with BirthNumberInvalid
    std::uint32_t firstRecord = 0;                    // with Retest: the person's first test
    std::optional<int> age;                           // with OutsideBands
};

// What was counted and what was left out.
struct NormBuildSummary
{
    std::size_t tests = 0;                                // tests given
    std::size_t people = 0;                               // people in the norm, one test each
    std::array<std::size_t, kExclusionKinds> excluded {}; // tests left out, by Exclusion
    std::vector<ExcludedTest> exclusions;                 // each one, in record order

    std::size_t excludedAs(Exclusion why) const { return excluded[static_cast<std::size_t>(why)]; }
};

struct NormBuild
{
    // The norm: a group for every band (and sex) with someone in it, each with the measures its people
    // have values of, points at P1 to P99; no groups when nobody was counted. The collection period is
    // the span of the counted tests' days.
    NormTable table;
    NormBuildSummary summary;
};

class NormBuilder
{
public:
    // Throws ReportError for bands parseAgeBands() would refuse, a period that ends before it begins, or a
    // name, version or source that is empty or holds a control character.
    explicit NormBuilder(BuildOptions options);

    // Counts `test` (in any order: the first test of a person is found by its day, then by its record).
    void add(const NormTest& test);

    // The norm of the tests added.
    NormBuild finish() const;

private:
    struct FirstTest
    {
        std::uint32_t record = 0;
        CalendarDate day;
        int age = 0;
        Sex sex = Sex::Male;
        bool broken = false;
        Statistics stats;
    };

    // Values of each measure (in kMeasures order) by group: band after band, men before women.
    using GroupValues = std::vector<std::array<std::vector<double>, kMeasures.size()>>;

    void exclude(ExcludedTest excluded);
    std::optional<std::size_t> bandOf(int age) const;
    std::size_t sexCount() const { return m_options.bySex ? 2 : 1; }
    // Counts each person's first test in `build`'s summary or leaves it out, and sets the table's period.
    GroupValues placePeople(NormBuild& build) const;

    BuildOptions m_options;
    NormBuildSummary m_summary;
    std::map<std::string, FirstTest> m_people;                  // by normalised birth number
    std::vector<std::pair<std::size_t, std::string>> m_retests; // exclusion index, the person
};

// The summary for the command's report, one line per count that is not 0: "1204 tests, 987 people in the
// norm", "117 retests left out", "12 tests with an invalid birth number left out", ...
std::vector<std::string> describeSummary(const NormBuildSummary& summary);

// One line about a test left out: "row 7: the birth number's first part has 5 digits, not 6".
std::string describeExclusion(const ExcludedTest& excluded);

} // namespace report::norms
