#pragma once

#include "report/birth_number.h"
#include "report/date_field.h"
#include "report/statistics.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A norm table: for groups of people by age and sex, how the whole measured block of a test was
// distributed, measure by measure, so that a person's result can be given as a percentile rank and a
// T-score. The file format is described in NORMS_FORMAT.md beside this file; a table is read and
// written here, checked as a whole either way.
namespace report::norms {

// The measures a norm can hold, each of the whole measured block (see statistics.h).
enum class Measure { MeanRt, MedianRt, SdRt, Speed, Lapses, Anticipations, Premature };

inline constexpr std::array<Measure, 7> kMeasures
    = {Measure::MeanRt, Measure::MedianRt,      Measure::SdRt,     Measure::Speed,
       Measure::Lapses, Measure::Anticipations, Measure::Premature};

// The measure's name in a norm file: "mean_rt", "median_rt", "sd_rt", "speed", "lapses", "anticipations",
// "premature".
std::string_view measureName(Measure measure);
// The measure of that name; nullopt for any other text.
std::optional<Measure> measureNamed(std::string_view name);
// True when a higher value is the better performance (speed); for every other measure a lower one is.
bool higherIsBetter(Measure measure);
// The measure's value in `stats`; nullopt when the statistics do not define it (no reaction times, the
// SD of one value, premature responses not stored).
std::optional<double> measureValue(const Statistics& stats, Measure measure);

// A group of fewer people than this is flagged small and gives no ranks.
inline constexpr std::size_t kSmallGroup = 30;
// Ages a band may name, in whole years.
inline constexpr int kMaxAge = 150;

// Ages in whole years, both ends included; no upper end for an open band ("75 and over").
struct AgeBand
{
    int from = 0;
    std::optional<int> to;

    bool contains(int age) const { return age >= from && (!to || age <= *to); }
    // True when some age lies in both bands.
    bool overlaps(const AgeBand& other) const { return (!to || other.from <= *to) && (!other.to || from <= *other.to); }
    bool operator==(const AgeBand& other) const { return from == other.from && to == other.to; }
};

// The norm of one measure in one group.
struct MeasureNorm
{
    Measure measure = Measure::MeanRt;
    std::size_t n = 0; // the people the values below come from, at least 1
    // For the T-score; both or neither (a norm may give no spread, e.g. when everybody had 0 lapses). The
    // SD is above 0.
    std::optional<double> mean;
    std::optional<double> sd;
    // The values at the table's percentile ranks (NormTable::ranks), not descending, not negative.
    std::vector<double> points;

    // Too few people to rank anyone by: the file flags the row, and no rank is given from it.
    bool small() const { return n < kSmallGroup; }
};

// The people of one age band, of one sex or (without `sex`) of both.
struct NormGroup
{
    AgeBand ages;
    std::optional<Sex> sex;
    std::vector<MeasureNorm> measures; // a measure not here has no norm in this group

    // True when a person of `age` and `personSex` belongs here.
    bool contains(int age, Sex personSex) const { return ages.contains(age) && (!sex || *sex == personSex); }
    // The norm of `measure`, nullptr when the group has none.
    const MeasureNorm* find(Measure measure) const;
};

// The group in English: "18-24, men", "75 and over, women", "18-24, both sexes".
std::string describeGroup(const NormGroup& group);

// A whole norm: what it is, and its groups.
struct NormTable
{
    std::string name;    // what the norm is called, e.g. "Drivers, station set-up 2025"
    std::string version; // as its makers number it
    std::string source;  // who collected it, or where it is published
    CalendarDate collectedFrom;
    CalendarDate collectedTo; // not before collectedFrom
    // The thresholds the lapses and anticipations were counted with: given whenever a group has those
    // measures, so that a report counting them otherwise is not ranked against them.
    std::optional<double> lapseMs;
    std::optional<double> anticipationMs;
    // The percentile ranks the points are given at: ascending, from 1 to 99, at least two.
    std::vector<int> ranks;
    // No two groups for one person: where their age bands overlap, their sexes differ (and neither is
    // "both").
    std::vector<NormGroup> groups;

    // The group of a person of `age` and `sex`; nullptr when there is none.
    const NormGroup* groupFor(int age, Sex sex) const;
};

// Longest norm file read, in bytes; a norm of a hundred groups with every measure is about 100 KB.
inline constexpr std::size_t kMaxNormFileBytes = 16 * 1024 * 1024;

// Reads a norm table from the bytes of a norm file and checks everything NORMS_FORMAT.md requires.
// Throws ReportError "line N: <what is wrong>" (N 1-based; quoted texts made printable and cut short) for
// the first fault found.
NormTable parseNormTable(std::string_view bytes);

// Reads the norm file at `path` (a regular file, opened as the table engine opens files, at most
// kMaxNormFileBytes). Throws FileError when it cannot be opened or read, and ReportError "<path>: line N:
// ..." when it is no norm table or a damaged one.
NormTable readNormTableFile(const std::string& path);

// The norm file of `table`: UTF-8, CRLF line ends, fields separated by `delimiter`, which is ',' (decimal
// points) or ';' (decimal commas, as spreadsheets set up for Czech write). Numbers are written in the
// shortest form that reads back to the same value. Reads its own output back before returning it, so
// that what it gives is a table parseNormTable() takes, equal to `table`; throws ReportError "the norm
// table cannot be written: line N: ..." when `table` breaks a rule of the format.
std::string formatNormTable(const NormTable& table, char delimiter = ',');

// True when both tables hold the same things (numbers compared exactly).
bool operator==(const MeasureNorm& a, const MeasureNorm& b);
bool operator==(const NormGroup& a, const NormGroup& b);
bool operator==(const NormTable& a, const NormTable& b);

} // namespace report::norms
