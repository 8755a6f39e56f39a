#include "report/statistics.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace report {

double percentileOfSorted(const std::vector<double>& sorted, double p)
{
    assert(!sorted.empty() && p >= 0.0 && p <= 1.0);
    const double h = static_cast<double>(sorted.size() - 1) * p;
    const double lower = std::floor(h);
    const auto index = static_cast<std::size_t>(lower);
    if (index + 1 >= sorted.size()) {
        return sorted.back();
    }
    return sorted[index] + (h - lower) * (sorted[index + 1] - sorted[index]);
}

double roundHalfAway(double value)
{
    return std::round(value);
}

Statistics computeStatistics(const std::vector<double>& rtMs, const Thresholds& thresholds)
{
    Statistics stats;
    stats.n = rtMs.size();
    if (rtMs.empty()) {
        return stats;
    }
    const auto n = static_cast<double>(rtMs.size());
    double sum = 0.0;
    double speedSum = 0.0;
    std::size_t speedCount = 0;
    for (const double rt : rtMs) {
        sum += rt;
        if (rt > 0.0) {
            speedSum += 1000.0 / rt;
            ++speedCount;
        }
        stats.lapses += rt >= thresholds.lapseMs ? 1U : 0U;
        stats.anticipations += rt < thresholds.anticipationMs ? 1U : 0U;
    }
    const double mean = sum / n;
    stats.mean = mean;
    if (rtMs.size() > 1) {
        // Two passes: the squares of the deviations, not of the values, so nothing cancels.
        double squares = 0.0;
        for (const double rt : rtMs) {
            squares += (rt - mean) * (rt - mean);
        }
        stats.sd = std::sqrt(squares / (n - 1.0));
    }
    if (speedCount > 0) {
        stats.speed = speedSum / static_cast<double>(speedCount);
    }
    std::vector<double> sorted = rtMs;
    std::sort(sorted.begin(), sorted.end());
    stats.min = sorted.front();
    stats.max = sorted.back();
    stats.median = percentileOfSorted(sorted, 0.5);
    stats.p10 = percentileOfSorted(sorted, 0.1);
    stats.p90 = percentileOfSorted(sorted, 0.9);
    return stats;
}

} // namespace report
