#pragma once

#include "report/analysis.h"
#include "report/date_field.h"
#include "report/results_reader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace report {

// One earlier test of the same person, for the protocol's second plot.
struct HistoryPoint
{
    std::uint32_t record = 0;
    std::string dateText;             // as stored
    std::optional<CalendarDate> date; // when it could be read
    std::optional<double> mean;       // of the whole block, when its lists could be read
    std::optional<double> median;
    bool current = false; // the test the protocol is about
    std::string place;    // the office it was taken at, when the tests come from several
};

// At most this many tests are shown, the latest ones.
inline constexpr std::size_t kMaxHistoryPoints = 20;

// The tests in `identities` with the birth number of `current`, up to and including `current`, in order:
// by date (then record) when every one of their dates can be read, else by record. Empty when `current`
// has no birth number. Reads each such row from `reader`. Throws what ResultsReader::read() throws.
std::vector<HistoryPoint> personHistory(ResultsReader& reader, const std::vector<TestIdentity>& identities,
                                        const TestIdentity& current, const AnalysisOptions& options,
                                        const TimingLookup* timing, DateOrder order, int currentYear);

} // namespace report
