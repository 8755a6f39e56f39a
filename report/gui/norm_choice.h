#pragma once

#include "report/norms/norm_ranking.h"

#include <QString>

// The norm table the window ranks by: read from its file, and remembered for the next start.
namespace report::gui {

// The norm file chosen last in the window; empty when none (or it was put aside).
QString rememberedNormFile();
// Remembers `path` (empty: no norm) for the next start.
void rememberNormFile(const QString& path);

// The ranking by the norm file at `path` with `thresholdPr`, the tests' dates read in the system's order.
// Throws what readNormTableFile() throws: FileError, or ReportError "<path>: line N: ..." for a damaged file.
norms::NormRanking readNormRanking(const QString& path, int thresholdPr);

// The norm in one line for the window: "Norma: Drivers 2025, verze 3 (normy.csv)"; "Bez normy" without one.
QString describeNormChoice(const norms::NormRanking& ranking, const QString& path);

} // namespace report::gui
