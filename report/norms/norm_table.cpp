#include "report/norms/norm_table.h"

#include "base/error.h"
#include "base/file.h"
#include "report/norms/norm_syntax.h"
#include "report/report_error.h"
#include "text/messages.h"

#include <cassert>
#include <memory>

namespace report::norms {

namespace {

struct MeasureInfo
{
    Measure measure;
    std::string_view name;
    bool higherIsBetter;
};

constexpr std::array<MeasureInfo, kMeasures.size()> kMeasureInfo = {MeasureInfo {Measure::MeanRt, "mean_rt", false},
                                                                    {Measure::MedianRt, "median_rt", false},
                                                                    {Measure::SdRt, "sd_rt", false},
                                                                    {Measure::Speed, "speed", true},
                                                                    {Measure::Lapses, "lapses", false},
                                                                    {Measure::Anticipations, "anticipations", false},
                                                                    {Measure::Premature, "premature", false}};

constexpr bool inOrderOfTheEnumeration()
{
    for (std::size_t i = 0; i < kMeasureInfo.size(); ++i) {
        if (static_cast<std::size_t>(kMeasureInfo[i].measure) != i || kMeasures[i] != kMeasureInfo[i].measure) {
            return false;
        }
    }
    return true;
}
static_assert(inOrderOfTheEnumeration(), "infoOf() finds a measure by its value");

const MeasureInfo& infoOf(Measure measure)
{
    return kMeasureInfo[static_cast<std::size_t>(measure)];
}

[[noreturn]] void refuseToWrite(const std::string& why)
{
    throw ReportError("the norm table cannot be written: " + why);
}

// A field as the reader takes it back: quoted when it holds the delimiter, a quote or a line end.
std::string csvField(std::string_view value, char delimiter)
{
    if (value.find_first_of(std::string {delimiter, '"', '\r', '\n'}) == std::string_view::npos) {
        return std::string(value);
    }
    std::string field = "\"";
    for (const char c : value) {
        field += c == '"' ? "\"\"" : std::string(1, c);
    }
    return field + "\"";
}

void appendLine(std::string& out, const std::vector<std::string>& fields, char delimiter)
{
    for (std::size_t i = 0; i < fields.size(); ++i) {
        out += (i > 0 ? std::string(1, delimiter) : std::string()) + csvField(fields[i], delimiter);
    }
    out += "\r\n";
}

void checkWritable(const NormTable& table)
{
    for (const auto& [key, value] :
         {std::pair {kName, &table.name}, {kVersion, &table.version}, {kSource, &table.source}}) {
        if (trimmed(*value) != *value) {
            refuseToWrite("its " + std::string(key) + " begins or ends with a blank");
        }
    }
    for (const NormGroup& group : table.groups) {
        if (group.measures.empty()) {
            refuseToWrite("group " + describeGroup(group) + " has no measures");
        }
    }
}

void writeDescription(const NormTable& table, char delimiter, std::string& out)
{
    const bool comma = delimiter == ';';
    const auto line = [&](std::string_view key, const std::string& value) {
        appendLine(out, {std::string(key), value}, delimiter);
    };
    line(kMagic, std::string(kFormatVersion));
    line(kName, table.name);
    line(kVersion, table.version);
    line(kSource, table.source);
    line(kCollectedFrom, formatIsoDate(table.collectedFrom));
    line(kCollectedTo, formatIsoDate(table.collectedTo));
    if (table.lapseMs) {
        line(kLapseMs, formatNumber(*table.lapseMs, comma));
    }
    if (table.anticipationMs) {
        line(kAnticipationMs, formatNumber(*table.anticipationMs, comma));
    }
    out += "\r\n"; // a blank line between the description and the table, for the eye
}

std::vector<std::string> rowOf(const NormGroup& group, const MeasureNorm& norm, bool comma)
{
    const auto optional
        = [&](const std::optional<double>& value) { return value ? formatNumber(*value, comma) : std::string(); };
    std::vector<std::string> row = {std::to_string(group.ages.from),
                                    group.ages.to ? std::to_string(*group.ages.to) : std::string(),
                                    std::string(group.sex ? (*group.sex == Sex::Male ? kMen : kWomen) : ""),
                                    std::string(measureName(norm.measure)),
                                    std::to_string(norm.n),
                                    std::string(norm.small() ? kSmallFlag : ""),
                                    optional(norm.mean),
                                    optional(norm.sd)};
    for (const double point : norm.points) {
        row.push_back(formatNumber(point, comma));
    }
    return row;
}

void writeRows(const NormTable& table, char delimiter, std::string& out)
{
    std::vector<std::string> header(kFixedColumns.begin(), kFixedColumns.end());
    for (const int rank : table.ranks) {
        header.push_back("P" + std::to_string(rank));
    }
    appendLine(out, header, delimiter);
    for (const NormGroup& group : table.groups) {
        for (const MeasureNorm& norm : group.measures) {
            appendLine(out, rowOf(group, norm, delimiter == ';'), delimiter);
        }
    }
}

} // namespace

std::string_view measureName(Measure measure)
{
    return infoOf(measure).name;
}

std::optional<Measure> measureNamed(std::string_view name)
{
    for (const MeasureInfo& info : kMeasureInfo) {
        if (info.name == name) {
            return info.measure;
        }
    }
    return std::nullopt;
}

bool higherIsBetter(Measure measure)
{
    return infoOf(measure).higherIsBetter;
}

std::optional<double> measureValue(const Statistics& stats, Measure measure)
{
    switch (measure) {
    case Measure::MeanRt:
        return stats.mean;
    case Measure::MedianRt:
        return stats.median;
    case Measure::SdRt:
        return stats.sd;
    case Measure::Speed:
        return stats.speed;
    case Measure::Lapses:
        return stats.n > 0 ? std::optional<double>(static_cast<double>(stats.lapses)) : std::nullopt;
    case Measure::Anticipations:
        return stats.n > 0 ? std::optional<double>(static_cast<double>(stats.anticipations)) : std::nullopt;
    case Measure::Premature:
        return stats.premature ? std::optional<double>(static_cast<double>(*stats.premature)) : std::nullopt;
    }
    return std::nullopt;
}

const MeasureNorm* NormGroup::find(Measure measure) const
{
    for (const MeasureNorm& norm : measures) {
        if (norm.measure == measure) {
            return &norm;
        }
    }
    return nullptr;
}

std::string describeGroup(const NormGroup& group)
{
    std::string text = std::to_string(group.ages.from);
    text += group.ages.to ? "-" + std::to_string(*group.ages.to) : " and over";
    if (!group.sex) {
        return text + ", both sexes";
    }
    return text + (*group.sex == Sex::Male ? ", men" : ", women");
}

const NormGroup* NormTable::groupFor(int age, Sex sex) const
{
    for (const NormGroup& group : groups) {
        if (group.contains(age, sex)) {
            return &group;
        }
    }
    return nullptr;
}

bool operator==(const MeasureNorm& a, const MeasureNorm& b)
{
    return a.measure == b.measure && a.n == b.n && a.mean == b.mean && a.sd == b.sd && a.points == b.points;
}

bool operator==(const NormGroup& a, const NormGroup& b)
{
    return a.ages == b.ages && a.sex == b.sex && a.measures == b.measures;
}

bool operator==(const NormTable& a, const NormTable& b)
{
    return a.name == b.name && a.version == b.version && a.source == b.source && a.collectedFrom == b.collectedFrom
        && a.collectedTo == b.collectedTo && a.lapseMs == b.lapseMs && a.anticipationMs == b.anticipationMs
        && a.ranks == b.ranks && a.groups == b.groups;
}

std::string formatNormTable(const NormTable& table, char delimiter)
{
    assert(delimiter == ',' || delimiter == ';');
    checkWritable(table);
    std::string out;
    writeDescription(table, delimiter, out);
    writeRows(table, delimiter, out);
    // The reader's checks are the format's rules: what it refuses, or reads otherwise, is not written.
    NormTable readBack;
    try {
        readBack = parseNormTable(out);
    } catch (const ReportError& error) {
        refuseToWrite(error.what());
    }
    if (!(readBack == table)) {
        refuseToWrite("it does not read back as it is");
    }
    return out;
}

NormTable readNormTableFile(const std::string& path)
{
    const std::unique_ptr<base::File> file = base::openFile(path, base::OpenMode::ReadOnly);
    if (!file) {
        throw base::FileError(text::formatMessage(text::messages::kCannotOpenFile, {path}) + ": no such file");
    }
    const std::uint64_t size = file->size();
    if (size > kMaxNormFileBytes) {
        throw ReportError(path + ": " + std::to_string(size) + " bytes, more than a norm table can have ("
                          + std::to_string(kMaxNormFileBytes) + ")");
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const std::size_t n = file->readAt(got, bytes.data() + got, bytes.size() - got);
        if (n == 0) {
            break; // the file was cut meanwhile: what was read is checked like any other text
        }
        got += n;
    }
    bytes.resize(got);
    try {
        return parseNormTable(bytes);
    } catch (const ReportError& error) {
        throw ReportError(path + ": " + error.what());
    }
}

} // namespace report::norms
