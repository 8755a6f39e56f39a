// Any bytes as a norm file: reading either refuses it with a printable message that names its line, or gives
// a table that keeps every rule of the format; such a table is written back in both styles and reads back
// the same, and the percentile ranks it gives stay within its first and last rank and never rise with a
// worse value.
#include "fuzz/fuzz_support.h"
#include "report/norms/norm_table.h"
#include "report/norms/percentile_rank.h"
#include "report/report_error.h"

#include <algorithm>
#include <cmath>

namespace {

using namespace report::norms;

bool printable(const char* text)
{
    for (; *text != '\0'; ++text) {
        const auto byte = static_cast<unsigned char>(*text);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

void checkNorm(const NormTable& table, const MeasureNorm& norm)
{
    fuzz::require(norm.n > 0, "n is above 0");
    fuzz::require(norm.mean.has_value() == norm.sd.has_value(), "mean and SD go together");
    fuzz::require(!norm.sd || (*norm.sd > 0.0 && std::isfinite(*norm.sd)), "an SD is above 0");
    fuzz::require(norm.points.size() == table.ranks.size(), "a point for every rank");
    for (std::size_t i = 0; i < norm.points.size(); ++i) {
        fuzz::require(std::isfinite(norm.points[i]) && norm.points[i] >= 0.0, "points are numbers, not negative");
        fuzz::require(i == 0 || norm.points[i - 1] <= norm.points[i], "points do not descend");
    }
    fuzz::require(norm.measure != Measure::Lapses || table.lapseMs, "lapses come with their threshold");
    // Ranks at and between the points and beyond both ends: within the table's ranks, and never better
    // for a worse value.
    const bool higher = higherIsBetter(norm.measure);
    const double low = higher ? table.ranks.front() : 100.0 - table.ranks.back();
    const double high = higher ? table.ranks.back() : 100.0 - table.ranks.front();
    double previous = higher ? -1.0 : 101.0;
    std::vector<double> values = {0.0};
    for (const double point : norm.points) {
        values.push_back(point);
        values.push_back(point * 1.0001 + 0.0001);
    }
    std::sort(values.begin(), values.end());
    for (const double value : values) {
        const double pr = percentileRank(table.ranks, norm.points, value, higher);
        fuzz::require(pr >= low && pr <= high, "a rank lies within the table's ranks");
        fuzz::require(higher ? pr >= previous : pr <= previous, "a better value never ranks lower");
        previous = pr;
    }
}

void checkTable(const NormTable& table)
{
    fuzz::require(table.ranks.size() >= 2 && table.ranks.front() >= 1 && table.ranks.back() <= 99,
                  "two or more ranks within 1 to 99");
    fuzz::require(!(table.collectedTo < table.collectedFrom), "the period does not run backwards");
    fuzz::require(!table.groups.empty(), "a table has groups");
    for (std::size_t i = 0; i < table.groups.size(); ++i) {
        const NormGroup& group = table.groups[i];
        fuzz::require(!group.measures.empty(), "a group has measures");
        for (std::size_t j = 0; j < i; ++j) {
            const NormGroup& other = table.groups[j];
            const bool sameSex = !group.sex || !other.sex || group.sex == other.sex;
            fuzz::require(!(sameSex && group.ages.overlaps(other.ages)), "no person has two groups");
        }
        for (const MeasureNorm& norm : group.measures) {
            checkNorm(table, norm);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    NormTable table;
    try {
        table = parseNormTable(bytes);
    } catch (const report::ReportError& error) {
        const std::string what = error.what();
        fuzz::require(what.rfind("line ", 0) == 0 || what.rfind("end of file: ", 0) == 0, "a refusal names its line");
        fuzz::require(printable(error.what()), "the reason holds no control bytes");
        return 0;
    }
    checkTable(table);
    for (const char delimiter : {',', ';'}) {
        try {
            fuzz::require(parseNormTable(formatNormTable(table, delimiter)) == table, "a table reads back the same");
        } catch (const report::ReportError&) {
            fuzz::require(false, "a table that was read can be written");
        }
    }
    return 0;
}
