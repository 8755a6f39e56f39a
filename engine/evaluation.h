#pragma once

#include "measurement_state.h"
#include "program_lines.h"

#include <functional>

namespace engine {

// Receives the evaluated measurement and stores it as one result row. Throws when the row cannot be
// stored.
using StoreResult = std::function<void(const MeasurementState&)>;

// Number of characters list A of a series may reach before values go to list B: each value goes to
// list A while list A is shorter than this.
inline constexpr std::size_t kListALimit = 230;

// Index of the last line that holds a series count: the count lines run from the line after the end
// marker at `endMarkerIndex` to this one. Blank lines at the very end of the program (an editor's extra
// line ends) are no count lines.
int lastSeriesCountLine(const ProgramLines& program, int endMarkerIndex);

// Evaluates the finished test: reads the series counts from the lines after the end marker, fills the
// per-series counts, premature sums, reaction-time lists and means of `state`, and hands the state to
// `store`. Series cover consecutive trial lines from state.seriesStart on; lines past the last trial
// line (120) hold no trials and are left out of every series.
//
// Throws FormatError when a count line is not an integer (nothing is stored) and whatever `store`
// throws. In both cases the state keeps its step index, so the next confirmation of the closing screen
// evaluates and stores again; the evaluation is repeatable because it recomputes every output from the
// measured arrays. Only after a successful store is the step index set to 0.
void vyhodnoceni(MeasurementState& state, const ProgramLines& program, const StoreResult& store);

// The series (1 to 4) the trial on program line `line` was evaluated in, or 0 for a line in none.
// Valid after vyhodnoceni().
int seriesOfLine(const MeasurementState& state, int line);

} // namespace engine
