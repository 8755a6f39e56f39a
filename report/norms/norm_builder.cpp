#include "report/norms/norm_builder.h"

#include "report/norms/norm_syntax.h"
#include "report/report_error.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace report::norms {

namespace {

[[noreturn]] void refuseBands(const std::string& what)
{
    throw ReportError("age bands: " + what);
}

void checkBands(const std::vector<AgeBand>& bands)
{
    if (bands.empty()) {
        refuseBands("none given");
    }
    for (std::size_t i = 0; i < bands.size(); ++i) {
        const AgeBand& band = bands[i];
        if (band.from < 0 || band.from > kMaxAge || (band.to && (*band.to < band.from || *band.to > kMaxAge))) {
            refuseBands("a band must lie within 0 to " + std::to_string(kMaxAge) + " years, ending at or after "
                        + "its start");
        }
        if (i > 0 && (!bands[i - 1].to || *bands[i - 1].to >= band.from)) {
            refuseBands("they must ascend without overlapping, and only the last may be open");
        }
    }
}

void checkText(std::string_view what, const std::string& value)
{
    if (value.empty() || hasControlCharacter(value) || trimmed(value) != value) {
        throw ReportError("the norm's " + std::string(what)
                          + " must not be empty, begin or end with a blank, or hold a control character");
    }
}

// Mean and sample SD of `values` (at least two), for the T-score; none when the values do not spread.
void addSpread(const std::vector<double>& values, MeasureNorm& norm)
{
    if (values.size() < 2) {
        return;
    }
    double sum = 0.0;
    for (const double value : values) {
        sum += value;
    }
    const double mean = sum / static_cast<double>(values.size());
    double squares = 0.0;
    for (const double value : values) {
        squares += (value - mean) * (value - mean);
    }
    const double sd = std::sqrt(squares / static_cast<double>(values.size() - 1));
    if (sd > 0.0) {
        norm.mean = mean;
        norm.sd = sd;
    }
}

MeasureNorm measureNorm(Measure measure, std::vector<double> values)
{
    MeasureNorm norm;
    norm.measure = measure;
    norm.n = values.size();
    std::sort(values.begin(), values.end());
    for (int rank = 1; rank <= 99; ++rank) {
        norm.points.push_back(percentileOfSorted(values, rank / 100.0));
    }
    addSpread(values, norm);
    return norm;
}

} // namespace

std::vector<AgeBand> defaultAgeBands()
{
    return {{18, 24}, {25, 34}, {35, 44}, {45, 54}, {55, 64}, {65, 74}, {75, std::nullopt}};
}

std::vector<AgeBand> parseAgeBands(std::string_view text)
{
    std::vector<AgeBand> bands;
    for (std::size_t begin = 0;;) {
        const std::size_t comma = text.find(',', begin);
        const std::string_view band
            = trimmed(text.substr(begin, comma == std::string_view::npos ? comma : comma - begin));
        const std::size_t dash = band.find('-');
        const bool open = !band.empty() && band.back() == '+';
        const std::optional<long> from = wholeNumber(band.substr(0, open ? band.size() - 1 : dash));
        const std::optional<long> to
            = open || dash == std::string_view::npos ? std::nullopt : wholeNumber(band.substr(dash + 1));
        if (!from || (!open && !to) || *from > kMaxAge || (to && *to > kMaxAge)) {
            refuseBands(quoted(band) + " is neither A-B nor A+ in whole years up to " + std::to_string(kMaxAge));
        }
        bands.push_back({static_cast<int>(*from), to ? std::optional<int>(static_cast<int>(*to)) : std::nullopt});
        if (comma == std::string_view::npos) {
            break;
        }
        begin = comma + 1;
    }
    checkBands(bands);
    return bands;
}

NormBuilder::NormBuilder(BuildOptions options)
    : m_options(std::move(options))
{
    checkBands(m_options.bands);
    if (m_options.from && m_options.to && *m_options.to < *m_options.from) {
        throw ReportError("the period ends before it begins");
    }
    checkText("name", m_options.name);
    checkText("version", m_options.version);
    checkText("source", m_options.source);
}

void NormBuilder::exclude(ExcludedTest excluded)
{
    ++m_summary.excluded[static_cast<std::size_t>(excluded.why)];
    m_summary.exclusions.push_back(std::move(excluded));
}

std::optional<std::size_t> NormBuilder::bandOf(int age) const
{
    for (std::size_t i = 0; i < m_options.bands.size(); ++i) {
        if (m_options.bands[i].contains(age)) {
            return i;
        }
    }
    return std::nullopt;
}

void NormBuilder::add(const NormTest& test)
{
    ++m_summary.tests;
    const std::optional<CalendarDate> day = parseTestDate(test.date, m_options.dateOrder, m_options.currentYear);
    if (!day) {
        return exclude({test.record, Exclusion::DateUnreadable, std::nullopt, 0, std::nullopt});
    }
    if ((m_options.from && *day < *m_options.from) || (m_options.to && *m_options.to < *day)) {
        return exclude({test.record, Exclusion::OutsidePeriod, std::nullopt, 0, std::nullopt});
    }
    const ParsedBirthNumber parsed = parseBirthNumber(test.birthNumber1, test.birthNumber2);
    if (!parsed.valid()) {
        return exclude({test.record, Exclusion::BirthNumberInvalid, parsed.issue, 0, std::nullopt});
    }
    const std::optional<int> age = ageOn(parsed.number->birthDate, {day->year, day->month, day->day});
    if (!age) {
        return exclude({test.record, Exclusion::BornAfterTest, std::nullopt, 0, std::nullopt});
    }
    assert(test.analysis != nullptr);
    const TestAnalysis& analysis = *test.analysis;
    FirstTest first {test.record, *day, *age, parsed.number->sex, analysis.hasErrors() || !analysis.allValid,
                     analysis.all};
    const auto [known, inserted] = m_people.emplace(parsed.number->digits, first);
    if (inserted) {
        return;
    }
    // Of two tests of one person the earlier stays; on the same day, the one stored first.
    FirstTest& earlier = known->second;
    const bool before = first.day < earlier.day || (first.day == earlier.day && first.record < earlier.record);
    if (before) {
        std::swap(first, earlier);
    }
    // The person's first test may still change: finish() names it.
    m_retests.emplace_back(m_summary.exclusions.size(), parsed.number->digits);
    exclude({first.record, Exclusion::Retest, std::nullopt, 0, std::nullopt});
}

NormBuilder::GroupValues NormBuilder::placePeople(NormBuild& build) const
{
    NormBuildSummary& summary = build.summary;
    GroupValues values(m_options.bands.size() * sexCount());
    std::optional<CalendarDate> first;
    std::optional<CalendarDate> last;
    for (const auto& person : m_people) {
        const FirstTest& test = person.second;
        const std::optional<std::size_t> band = bandOf(test.age);
        const auto excluded = [&](Exclusion why) {
            ++summary.excluded[static_cast<std::size_t>(why)];
            summary.exclusions.push_back({test.record, why, std::nullopt, 0,
                                          why == Exclusion::OutsideBands ? std::optional(test.age) : std::nullopt});
        };
        if (test.broken) {
            excluded(Exclusion::BrokenRow);
        } else if (test.stats.n == 0) {
            excluded(Exclusion::NoReactionTimes);
        } else if (!band) {
            excluded(Exclusion::OutsideBands);
        } else {
            ++summary.people;
            first = first && *first < test.day ? *first : test.day;
            last = last && test.day < *last ? *last : test.day;
            const std::size_t group = *band * sexCount() + (m_options.bySex && test.sex == Sex::Female ? 1 : 0);
            for (std::size_t m = 0; m < kMeasures.size(); ++m) {
                if (const std::optional<double> value = measureValue(test.stats, kMeasures[m])) {
                    values[group][m].push_back(*value);
                }
            }
        }
    }
    build.table.collectedFrom = first.value_or(CalendarDate {});
    build.table.collectedTo = last.value_or(CalendarDate {});
    return values;
}

NormBuild NormBuilder::finish() const
{
    NormBuild build;
    build.summary = m_summary;
    for (const auto& [index, digits] : m_retests) {
        build.summary.exclusions[index].firstRecord = m_people.at(digits).record;
    }
    const GroupValues values = placePeople(build);
    std::sort(build.summary.exclusions.begin(), build.summary.exclusions.end(),
              [](const ExcludedTest& a, const ExcludedTest& b) { return a.record < b.record; });

    NormTable& table = build.table;
    table.name = m_options.name;
    table.version = m_options.version;
    table.source = m_options.source;
    table.lapseMs = m_options.thresholds.lapseMs;
    table.anticipationMs = m_options.thresholds.anticipationMs;
    for (int rank = 1; rank <= 99; ++rank) {
        table.ranks.push_back(rank);
    }
    for (std::size_t group = 0; group < values.size(); ++group) {
        NormGroup normGroup;
        normGroup.ages = m_options.bands[group / sexCount()];
        if (m_options.bySex) {
            normGroup.sex = group % 2 == 0 ? Sex::Male : Sex::Female;
        }
        for (std::size_t m = 0; m < kMeasures.size(); ++m) {
            if (!values[group][m].empty()) {
                normGroup.measures.push_back(measureNorm(kMeasures[m], values[group][m]));
            }
        }
        if (!normGroup.measures.empty()) {
            table.groups.push_back(std::move(normGroup));
        }
    }
    return build;
}

std::vector<std::string> describeSummary(const NormBuildSummary& summary)
{
    static constexpr std::array<const char*, kExclusionKinds> kWhy
        = {"with a test date that cannot be read",
           "taken outside the period",
           "with an invalid birth number",
           "dated before the birth number's date",
           "that are retests (a person counts once, by the first test in the period)",
           "with errors in their rows",
           "without measured reaction times",
           "of people whose age lies in no age band"};
    std::vector<std::string> lines
        = {std::to_string(summary.tests) + " tests, " + std::to_string(summary.people) + " people in the norm"};
    for (std::size_t kind = 0; kind < kExclusionKinds; ++kind) {
        if (summary.excluded[kind] > 0) {
            lines.push_back(std::to_string(summary.excluded[kind]) + " tests " + kWhy[kind] + " left out");
        }
    }
    return lines;
}

std::string describeExclusion(const ExcludedTest& excluded)
{
    const std::string row = "row " + std::to_string(excluded.record) + ": ";
    switch (excluded.why) {
    case Exclusion::DateUnreadable:
        return row + "the test date cannot be read";
    case Exclusion::OutsidePeriod:
        return row + "taken outside the period";
    case Exclusion::BirthNumberInvalid:
        return row + describe(*excluded.birthNumberIssue);
    case Exclusion::BornAfterTest:
        return row + "the birth number's date is after the test day";
    case Exclusion::Retest:
        return row + "a retest of the person first tested in row " + std::to_string(excluded.firstRecord);
    case Exclusion::BrokenRow:
        return row + "the row has errors";
    case Exclusion::NoReactionTimes:
        return row + "no measured reaction times";
    case Exclusion::OutsideBands:
        return row + "age " + std::to_string(*excluded.age) + " lies in no age band";
    }
    return row + "left out";
}

} // namespace report::norms
