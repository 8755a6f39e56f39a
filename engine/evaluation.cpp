#include "evaluation.h"

#include "integer_conversion.h"

#include <algorithm>
#include <string>

namespace engine {

int lastSeriesCountLine(const ProgramLines& program, int endMarkerIndex)
{
    int last = program.lineCount() - 1;
    while (last > endMarkerIndex && program.line(last).find_first_not_of(' ') == std::string::npos) {
        --last;
    }
    return last;
}

namespace {

// Series `n` (0-based) over trial lines [first, first + count), restricted to the lines that can hold
// trials. Returns the series total in a wide type: a long series may exceed 65,535 ms in total.
std::uint64_t evaluateSeries(MeasurementState& s, std::size_t n, std::int64_t first, std::int64_t count)
{
    s.prematureSum[n] = 0;
    s.seriesTextA[n].clear();
    s.seriesTextB[n].clear();
    std::uint64_t total = 0;
    const std::int64_t begin = std::max<std::int64_t>(first, 0);
    const std::int64_t end = std::min<std::int64_t>(first + count, kLastTrialIndex + 1);
    for (std::int64_t i = begin; i < end; ++i) {
        const auto index = static_cast<std::size_t>(i);
        const std::uint32_t time = s.reactionTime[index];
        total += time;
        std::string& list = s.seriesTextA[n].size() < kListALimit ? s.seriesTextA[n] : s.seriesTextB[n];
        list += std::to_string(time);
        list += '|';
        s.prematureSum[n] += s.prematureCount[index];
    }
    return total;
}

} // namespace

void vyhodnoceni(MeasurementState& s, const ProgramLines& program, const StoreResult& store)
{
    int k = 0;
    const int last = lastSeriesCountLine(program, s.endMarkerIndex);
    for (int i = s.endMarkerIndex + 1; i <= last; ++i) {
        ++k;
        if (k <= kSeriesCount) {
            s.seriesCount[static_cast<std::size_t>(k - 1)] = toInteger(program.line(i));
        }
    }

    std::uint64_t totals[kSeriesCount] = {};
    s.evaluatedSeries = 0;
    if (k >= 1 && k <= kSeriesCount) {
        s.evaluatedSeries = k;
        std::int64_t first = s.seriesStart;
        for (std::size_t n = 0; n < static_cast<std::size_t>(k); ++n) {
            totals[n] = evaluateSeries(s, n, first, s.seriesCount[n]);
            first += s.seriesCount[n];
        }
    }
    for (std::size_t n = 0; n < static_cast<std::size_t>(kSeriesCount); ++n) {
        if (s.seriesCount[n] > 0) {
            s.seriesMean[n] = static_cast<double>(totals[n]) / static_cast<double>(s.seriesCount[n]);
        }
    }

    store(s);
    // Reset only once the row is safely stored: a failed store must leave the closing screen able to
    // try again, not restart the test on top of the measured data.
    s.stepIndex = 0;
}

int seriesOfLine(const MeasurementState& s, int line)
{
    if (line > kLastTrialIndex) {
        return 0;
    }
    std::int64_t first = s.seriesStart;
    for (int n = 0; n < s.evaluatedSeries; ++n) {
        const std::int64_t count = s.seriesCount[static_cast<std::size_t>(n)];
        if (line >= first && line < first + count) {
            return n + 1;
        }
        first += count;
    }
    return 0;
}

} // namespace engine
