#pragma once

#include "report/analysis.h"
#include "report/gui/page_canvas.h"
#include "report/history.h"

#include <vector>

namespace report::gui {

// The plot of reaction time per trial, in order, series side by side with a gap and a dashed line
// between them; lapses and anticipations are marked and the two thresholds drawn. Values above the
// axis (which stops at a few seconds so that one very slow response does not flatten the rest) are
// drawn at its top with their value. Fills the box given in millimetres, legend included.
void drawTrialPlot(PageCanvas& canvas, double x, double y, double width, double height, const TestAnalysis& analysis,
                   const Thresholds& thresholds);

// The plot of mean and median of the whole block across the person's tests in order, the current test
// marked. Fills the box given in millimetres, legend included.
void drawHistoryPlot(PageCanvas& canvas, double x, double y, double width, double height,
                     const std::vector<HistoryPoint>& history);

// Ticks of a linear axis from 0 to at least `maximum`: steps of 1, 2 or 5 times a power of ten, about
// `targetCount` of them. Returns the tick values, 0 first; the last is the axis end.
std::vector<double> axisTicks(double maximum, int targetCount);

} // namespace report::gui
