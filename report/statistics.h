#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The usual reaction-time statistics of one series or of a whole measured block.
namespace report {

// Where a response counts as a lapse (too slow) or an anticipation (too fast).
struct Thresholds
{
    double lapseMs = 500.0;        // a reaction time at or above this is a lapse
    double anticipationMs = 100.0; // a reaction time below this is an anticipation
};

// Statistics of reaction times in milliseconds. Values that a sample of this size does not define are
// empty: everything but the counts for an empty sample, and the standard deviation for one value.
struct Statistics
{
    std::size_t n = 0;
    std::optional<double> mean;
    std::optional<double> median;
    // Sample standard deviation, with n - 1 in the denominator.
    std::optional<double> sd;
    std::optional<double> min;
    std::optional<double> max;
    // 10th and 90th percentile by linear interpolation between order statistics: with the values sorted
    // as x[0..n-1] and h = (n - 1) p, the percentile is x[floor h] + (h - floor h)(x[floor h + 1] -
    // x[floor h]). This is the definition of R's default, Excel's PERCENTILE.INC and NumPy's default.
    std::optional<double> p10;
    std::optional<double> p90;
    // Mean of 1/RT in responses per second (1000 / RT in ms), over the reaction times above 0: a
    // response in the stimulus's own millisecond has no finite speed.
    std::optional<double> speed;
    std::size_t lapses = 0;
    std::size_t anticipations = 0;
    // Premature responses as the table stores them (they are counted per series, not per trial).
    std::optional<std::int64_t> premature;
};

// The statistics of `rtMs` (any order); `premature` is left empty for the caller to fill.
Statistics computeStatistics(const std::vector<double>& rtMs, const Thresholds& thresholds);

// The percentile `p` (0..1) of the non-empty, ascending `sorted` values, as defined above.
double percentileOfSorted(const std::vector<double>& sorted, double p);

// `value` rounded to a whole number, halves away from zero, as the table stores a mean.
double roundHalfAway(double value);

} // namespace report
