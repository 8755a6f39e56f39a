// Reading a norm file: a description (key, value), then a table with one row per group and measure. Every
// rule of NORMS_FORMAT.md is checked here, in file order, and the first fault ends the reading with its
// line; nothing of a damaged file is used.
#include "report/norms/norm_syntax.h"
#include "report/norms/norm_table.h"
#include "report/report_error.h"
#include "report/timing_lines.h"
#include "text/utf8.h"

#include <algorithm>
#include <map>

namespace report::norms {

namespace {

enum Column : std::size_t { AgeFrom, AgeTo, SexColumn, MeasureColumn, Count, Flag, Mean, Sd, FirstPoint };

struct DescriptionEntry
{
    std::string_view key;
    bool required;
};
constexpr std::array<DescriptionEntry, 7> kDescription
    = {DescriptionEntry {kName, true}, {kVersion, true},  {kSource, true},         {kCollectedFrom, true},
       {kCollectedTo, true},           {kLapseMs, false}, {kAnticipationMs, false}};

class Parser
{
public:
    explicit Parser(std::string_view bytes)
        : m_rest(bytes)
    { }

    NormTable parse()
    {
        readFirstLine();
        readDescription();
        readHeader();
        while (nextLine()) {
            readRow();
        }
        if (m_table.groups.empty()) {
            throw ReportError("end of file: the table has no rows");
        }
        return std::move(m_table);
    }

private:
    // Takes the next line that is not blank apart into m_fields. False at the end of the bytes.
    bool nextLine()
    {
        while (!m_rest.empty()) {
            const std::size_t end = std::min(m_rest.find('\n'), m_rest.size());
            std::string_view line = m_rest.substr(0, end);
            m_rest.remove_prefix(std::min(end + 1, m_rest.size()));
            ++m_lineNumber;
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            if (m_lineNumber == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") {
                line.remove_prefix(3);
            }
            if (!text::isValidUtf8(line)) {
                fail("the line is not UTF-8 text");
            }
            if (m_lineNumber == 1) {
                m_delimiter = delimiterOf(line);
            }
            if (!splitCsvRecord(line, m_delimiter, m_fields)) {
                fail("a quote is not closed on this line (a field never spans lines)");
            }
            for (std::string& field : m_fields) {
                field = std::string(trimmed(field));
            }
            if (significantFields() > 0) {
                return true;
            }
        }
        return false;
    }

    char delimiterOf(std::string_view firstLine) const
    {
        if (firstLine.substr(0, kMagic.size()) != kMagic) {
            fail("not a norm table: it does not begin with " + std::string(kMagic));
        }
        const std::string_view after = firstLine.substr(kMagic.size(), 1);
        if (after != "," && after != ";") {
            fail(std::string(kMagic) + " is not followed by ',' or ';' and the format version");
        }
        return after[0];
    }

    [[noreturn]] void fail(const std::string& what) const
    {
        throw ReportError("line " + std::to_string(m_lineNumber) + ": " + what);
    }

    // Fields up to the last one that is not empty: spreadsheets pad lines with empty fields.
    std::size_t significantFields() const
    {
        std::size_t count = m_fields.size();
        while (count > 0 && m_fields[count - 1].empty()) {
            --count;
        }
        return count;
    }

    const std::string& field(std::size_t index) const
    {
        static const std::string kEmpty;
        return index < m_fields.size() ? m_fields[index] : kEmpty;
    }

    void readFirstLine()
    {
        if (!nextLine()) {
            throw ReportError("line 1: not a norm table: it does not begin with " + std::string(kMagic));
        }
        if (field(1) != kFormatVersion) {
            fail("format version " + quoted(field(1)) + " is not " + std::string(kFormatVersion)
                 + ", the one this program reads");
        }
        if (significantFields() > 2) {
            fail("the first line holds more than the format version");
        }
    }

    void readDescription()
    {
        std::map<std::string_view, std::size_t> seen; // entry, its line
        bool header = false;
        while (!header && nextLine()) {
            header = field(0) == kFixedColumns[0];
            if (!header) {
                seen.emplace(describe(seen), m_lineNumber);
            }
        }
        if (!header) {
            throw ReportError("end of file: no table header (a line beginning with age_from)");
        }
        for (const DescriptionEntry& entry : kDescription) {
            if (entry.required && seen.count(entry.key) == 0) {
                fail("the norm's description before the table lacks " + std::string(entry.key));
            }
        }
        if (m_table.collectedTo < m_table.collectedFrom) {
            m_lineNumber = std::max(seen[kCollectedFrom], seen[kCollectedTo]);
            fail("collected_to is before collected_from");
        }
    }

    // Takes the entry of the line into the table; returns its key. `seen` holds the entries before it.
    std::string_view describe(const std::map<std::string_view, std::size_t>& seen)
    {
        const auto entry = std::find_if(kDescription.begin(), kDescription.end(),
                                        [&](const DescriptionEntry& known) { return known.key == field(0); });
        if (entry == kDescription.end()) {
            fail(quoted(field(0)) + " is no entry of a norm's description");
        }
        if (seen.count(entry->key) != 0) {
            fail(std::string(entry->key) + " is given twice (also on line " + std::to_string(seen.at(entry->key))
                 + ")");
        }
        if (significantFields() > 2) {
            fail(std::string(entry->key) + " has more than one value");
        }
        take(entry->key, field(1));
        return entry->key;
    }

    void take(std::string_view key, const std::string& value)
    {
        if (value.empty()) {
            fail(std::string(key) + " is empty");
        }
        if (key == kName || key == kVersion || key == kSource) {
            if (hasControlCharacter(value)) {
                fail(std::string(key) + " holds a control character");
            }
            (key == kName ? m_table.name : key == kVersion ? m_table.version : m_table.source) = value;
        } else if (key == kCollectedFrom || key == kCollectedTo) {
            const std::optional<CalendarDate> date = parseIsoDate(value);
            if (!date) {
                fail(std::string(key) + " " + quoted(value) + " is not a date written YYYY-MM-DD");
            }
            (key == kCollectedFrom ? m_table.collectedFrom : m_table.collectedTo) = *date;
        } else {
            const std::optional<double> ms = number(value);
            if (!ms || *ms <= 0.0) {
                fail(std::string(key) + " " + quoted(value) + " is not a number of milliseconds above 0");
            }
            (key == kLapseMs ? m_table.lapseMs : m_table.anticipationMs) = *ms;
        }
    }

    void readHeader()
    {
        m_columns = significantFields();
        for (std::size_t i = 0; i < kFixedColumns.size(); ++i) {
            if (field(i) != kFixedColumns[i]) {
                fail("column " + std::to_string(i + 1) + " of the header is " + quoted(field(i)) + ", not "
                     + std::string(kFixedColumns[i]));
            }
        }
        for (std::size_t i = FirstPoint; i < m_columns; ++i) {
            const std::optional<int> rank = percentileColumn(field(i));
            if (!rank) {
                fail("column " + std::to_string(i + 1) + " of the header is " + quoted(field(i))
                     + ", not a percentile point P1 to P99");
            }
            if (!m_table.ranks.empty() && *rank <= m_table.ranks.back()) {
                fail("P" + std::to_string(*rank) + " follows P" + std::to_string(m_table.ranks.back())
                     + ": the percentile points must ascend");
            }
            m_table.ranks.push_back(*rank);
        }
        if (m_table.ranks.size() < 2) {
            fail("a norm needs at least two percentile points, the header gives "
                 + std::to_string(m_table.ranks.size()));
        }
    }

    void readRow()
    {
        if (m_fields.size() < m_columns || significantFields() > m_columns) {
            fail(std::to_string(significantFields()) + " fields, not the header's " + std::to_string(m_columns));
        }
        NormGroup group;
        group.ages.from = age(AgeFrom);
        if (!field(AgeTo).empty()) {
            group.ages.to = age(AgeTo);
            if (*group.ages.to < group.ages.from) {
                fail("age_to " + field(AgeTo) + " is below age_from " + field(AgeFrom));
            }
        }
        group.sex = sexOf(field(SexColumn));
        MeasureNorm norm = measureNorm();
        place(std::move(group), std::move(norm));
    }

    int age(std::size_t column) const
    {
        const std::optional<long> value = wholeNumber(field(column));
        if (!value || *value > kMaxAge) {
            fail(std::string(kFixedColumns[column]) + " " + quoted(field(column)) + " is not a whole number from 0 to "
                 + std::to_string(kMaxAge));
        }
        return static_cast<int>(*value);
    }

    std::optional<Sex> sexOf(const std::string& text) const
    {
        if (text.empty()) {
            return std::nullopt;
        }
        if (text == kMen || text == kWomen) {
            return text == kMen ? Sex::Male : Sex::Female;
        }
        fail("sex " + quoted(text) + " is not M, F or empty (both sexes)");
    }

    MeasureNorm measureNorm() const
    {
        MeasureNorm norm;
        const std::optional<Measure> measure = measureNamed(field(MeasureColumn));
        if (!measure) {
            fail(quoted(field(MeasureColumn)) + " is no measure of a norm (" + measureList() + ")");
        }
        norm.measure = *measure;
        const std::optional<long> n = wholeNumber(field(Count));
        if (!n || *n == 0) {
            fail("n " + quoted(field(Count)) + " is not a whole number above 0");
        }
        norm.n = static_cast<std::size_t>(*n);
        checkFlag(norm);
        norm.mean = value(Mean, "mean");
        norm.sd = value(Sd, "sd");
        if (norm.mean.has_value() != norm.sd.has_value()) {
            fail("mean and sd are given together or not at all");
        }
        if (norm.sd && *norm.sd <= 0.0) {
            fail("sd " + field(Sd) + " is not above 0");
        }
        for (std::size_t i = 0; i < m_table.ranks.size(); ++i) {
            const std::string name = "P" + std::to_string(m_table.ranks[i]);
            const std::optional<double> point = value(FirstPoint + i, name);
            if (!point) {
                fail(name + " is empty");
            }
            if (!norm.points.empty() && *point < norm.points.back()) {
                fail(name + " " + field(FirstPoint + i) + " is below P" + std::to_string(m_table.ranks[i - 1]) + " "
                     + field(FirstPoint + i - 1) + ": the points must not descend");
            }
            norm.points.push_back(*point);
        }
        return norm;
    }

    void checkFlag(const MeasureNorm& norm) const
    {
        const std::string& flag = field(Flag);
        if (!flag.empty() && flag != kSmallFlag) {
            fail("flag " + quoted(flag) + " is neither " + std::string(kSmallFlag) + " nor empty");
        }
        if (norm.small() && flag.empty()) {
            fail("flag is empty, but n " + field(Count) + " is below " + std::to_string(kSmallGroup)
                 + ": the row must be flagged " + std::string(kSmallFlag));
        }
        if (!norm.small() && !flag.empty()) {
            fail("flag is " + std::string(kSmallFlag) + ", but n " + field(Count) + " is not below "
                 + std::to_string(kSmallGroup));
        }
    }

    // A number of column `column` that is not negative; nullopt for an empty field.
    std::optional<double> value(std::size_t column, const std::string& name) const
    {
        if (field(column).empty()) {
            return std::nullopt;
        }
        const std::optional<double> parsed = number(field(column));
        if (!parsed) {
            fail(name + " " + quoted(field(column)) + " is not a number");
        }
        if (*parsed < 0.0) {
            fail(name + " " + field(column) + " is negative");
        }
        return parsed;
    }

    std::optional<double> number(const std::string& text) const { return parseNumber(text, m_delimiter == ';'); }

    // Adds the row to its group, which no other group may overlap, and where its measure is new.
    void place(NormGroup group, MeasureNorm norm)
    {
        if (norm.measure == Measure::Lapses && !m_table.lapseMs) {
            fail("lapses need lapse_ms in the norm's description");
        }
        if (norm.measure == Measure::Anticipations && !m_table.anticipationMs) {
            fail("anticipations need anticipation_ms in the norm's description");
        }
        for (std::size_t i = 0; i < m_table.groups.size(); ++i) {
            NormGroup& other = m_table.groups[i];
            if (other.ages == group.ages && other.sex == group.sex) {
                if (other.find(norm.measure)) {
                    fail("group " + describeGroup(group) + " has " + std::string(measureName(norm.measure))
                         + " twice (also on line " + std::to_string(m_measureLines[i][norm.measure]) + ")");
                }
                m_measureLines[i][norm.measure] = m_lineNumber;
                other.measures.push_back(std::move(norm));
                return;
            }
            if (other.ages.overlaps(group.ages) && (!other.sex || !group.sex || other.sex == group.sex)) {
                fail("group " + describeGroup(group) + " overlaps group " + describeGroup(other) + " of line "
                     + std::to_string(m_groupLines[i]));
            }
        }
        m_groupLines.push_back(m_lineNumber);
        m_measureLines.push_back({{norm.measure, m_lineNumber}});
        group.measures.push_back(std::move(norm));
        m_table.groups.push_back(std::move(group));
    }

    std::string_view m_rest;
    std::size_t m_lineNumber = 0;
    char m_delimiter = ',';
    std::vector<std::string> m_fields;
    std::size_t m_columns = 0;
    NormTable m_table;
    std::vector<std::size_t> m_groupLines;                      // per group: its first line
    std::vector<std::map<Measure, std::size_t>> m_measureLines; // per group: the line of each measure
};

} // namespace

NormTable parseNormTable(std::string_view bytes)
{
    return Parser(bytes).parse();
}

} // namespace report::norms
