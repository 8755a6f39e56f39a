#include "report/history.h"

#include <algorithm>

namespace report {

std::vector<HistoryPoint> personHistory(ResultsReader& reader, const std::vector<TestIdentity>& identities,
                                        const TestIdentity& current, const AnalysisOptions& options,
                                        const TimingLookup* timing, DateOrder order, int currentYear)
{
    const std::string key = current.birthNumberKey();
    if (key.empty()) {
        return {};
    }
    std::vector<HistoryPoint> points;
    bool allDated = true;
    for (const TestIdentity& identity : identities) {
        if (identity.birthNumberKey() == key) {
            HistoryPoint point;
            point.record = identity.record;
            point.dateText = identity.date;
            point.date = parseTestDate(identity.date, order, currentYear);
            point.current = identity.record == current.record;
            allDated = allDated && point.date.has_value();
            points.push_back(std::move(point));
        }
    }
    const auto before = [allDated](const HistoryPoint& a, const HistoryPoint& b) {
        if (allDated && !(*a.date == *b.date)) {
            return *a.date < *b.date;
        }
        return a.record < b.record;
    };
    std::sort(points.begin(), points.end(), before);
    const auto currentPoint
        = std::find_if(points.begin(), points.end(), [](const HistoryPoint& point) { return point.current; });
    if (currentPoint == points.end()) {
        return {};
    }
    points.erase(currentPoint + 1, points.end());
    if (points.size() > kMaxHistoryPoints) {
        points.erase(points.begin(), points.end() - static_cast<std::ptrdiff_t>(kMaxHistoryPoints));
    }
    for (HistoryPoint& point : points) {
        if (const auto test = reader.read(point.record)) {
            const TestAnalysis analysis = analyse(*test, options, timing);
            if (analysis.allValid) {
                point.mean = analysis.all.mean;
                point.median = analysis.all.median;
            }
        }
    }
    return points;
}

} // namespace report
