#pragma once

#include "report/gui/page_canvas.h"
#include "report/gui/protocol_content.h"

#include <QString>

// The protocol's part about what a result means: the PR and T-score of each measure against the chosen
// norm, and the station's measured timing, in Czech.
namespace report::gui {

// The group in Czech: "18–24 let, muži", "75 let a více, ženy", "35–44 let, obě pohlaví".
QString czechGroup(const norms::NormGroup& group);

// Why `rank` has no norm, in Czech after "bez normy: ". Precondition: rank.noNorm is set.
QString czechNoNorm(const norms::MeasureRank& rank, const norms::NormTable& table);

// The one line about the station: its name, its latest self-test before the test and what it measured,
// or "Měření stanice není k dispozici" with what is missing.
QString czechStationLine(const StationTiming& timing);

// Draws the comparison with the norm (when the content has one) and the station's line, `width` mm wide
// from `x` at `y`. Returns the height used.
double drawNormSection(PageCanvas& canvas, const ProtocolContent& content, double x, double y, double width);

} // namespace report::gui
