// Any bytes as a timing record beside a table: reading it either fails with a message or indexes it, and
// then every row it names can be matched against the stored times its own lines give. A match hands out
// only trials whose stored milliseconds are the row's and whose microseconds round to them; a test that
// is refused says why; and no message carries a byte that a terminal would act on.
#include "fuzz/fuzz_support.h"
#include "report/report_error.h"
#include "report/timing_record.h"

#include <charconv>
#include <cmath>
#include <map>

namespace {

using report::kSeriesCount;
using report::StoredTimes;
using Stored = std::array<StoredTimes, kSeriesCount>;

bool printable(const std::string& text)
{
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

template<typename Number>
bool parse(std::string_view text, Number& value)
{
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// The stored times each row would need for its tests to match, read from the input the simple way: lines
// split at LF, fields at commas, columns found by the header's names.
std::map<std::uint32_t, Stored> storedTimesIn(std::string_view input)
{
    std::map<std::uint32_t, Stored> rows;
    std::vector<std::string> header;
    std::vector<std::string> fields;
    for (std::size_t begin = 0; begin < input.size() && rows.size() < 16;) {
        std::size_t end = input.find('\n', begin);
        end = end == std::string_view::npos ? input.size() : end;
        std::string_view line = input.substr(begin, end - begin);
        begin = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (header.empty()) {
            report::splitCsvRecord(line, ',', header);
            continue;
        }
        report::splitCsvRecord(line, ',', fields);
        const auto column = [&](const char* name) -> std::string {
            for (std::size_t i = 0; i < header.size() && i < fields.size(); ++i) {
                if (header[i] == name) {
                    return fields[i];
                }
            }
            return {};
        };
        std::uint32_t row = 0;
        int series = 0;
        std::uint32_t ms = 0;
        if (parse(column("table_row"), row) && parse(column("series"), series) && parse(column("rt_stored_ms"), ms)
            && series >= 1 && series <= kSeriesCount && column("block") == "measured") {
            Stored& stored = rows[row];
            for (StoredTimes& times : stored) {
                times.valid = true;
            }
            stored[static_cast<std::size_t>(series - 1)].values.push_back(ms);
        }
    }
    return rows;
}

void checkMatch(const report::TimingRecord& record, std::uint32_t row, const Stored& stored)
{
    const report::TimingMatch match = record.match(row, stored);
    fuzz::require(!(match.trials && match.issue), "a match is used or refused, not both");
    if (match.issue) {
        fuzz::require(!report::describe(*match.issue).empty(), "a refused test says why");
        fuzz::require(printable(report::describe(*match.issue)), "the reason holds no control bytes");
    }
    if (!match.trials) {
        return;
    }
    for (std::size_t n = 0; n < stored.size(); ++n) {
        const auto& trials = (*match.trials)[n];
        fuzz::require(trials.size() <= stored[n].values.size(), "no more trials than the row holds");
        for (std::size_t i = 0; i < trials.size(); ++i) {
            fuzz::require(trials[i].rtStoredMs == stored[n].values[i], "the trials are the row's");
            fuzz::require(trials[i].rtUs >= 0, "a reaction time is not negative");
            const double ms = std::floor(static_cast<double>(trials[i].rtUs) / 1000.0 + 0.5);
            fuzz::require(ms == static_cast<double>(trials[i].rtStoredMs), "it rounds to the stored milliseconds");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto bytes = std::make_shared<std::vector<unsigned char>>(data, data + size);
    std::unique_ptr<report::TimingRecord> record;
    try {
        record = std::make_unique<report::TimingRecord>(std::make_unique<fuzz::MemoryFile>(bytes));
    } catch (const report::ReportError& error) {
        fuzz::require(error.what()[0] != '\0', "a refused record says why");
        fuzz::require(printable(error.what()), "the reason holds no control bytes");
        return 0;
    }
    for (const std::string& problem : record->problems()) {
        fuzz::require(!problem.empty() && printable(problem), "a damaged line is named in printable words");
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (auto& [row, stored] : storedTimesIn(input)) {
        checkMatch(*record, row, stored);
        // The same row as a table that cut its list B: only a prefix of series 1 needs to match.
        if (!stored[0].values.empty()) {
            stored[0].fullWidth = true;
            stored[0].values.pop_back();
            checkMatch(*record, row, stored);
        }
    }
    fuzz::require(record->match(0, {}).trials == std::nullopt, "row 0 is no row");
    return 0;
}
