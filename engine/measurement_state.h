#pragma once

#include "timing.h"

#include <array>
#include <cstdint>
#include <string>

namespace engine {

// Number of series a test can evaluate.
inline constexpr int kSeriesCount = 4;
// Highest program line index that can hold a trial: premature responses are counted for lines
// 0 to kLastTrialIndex, reaction times for lines 0 to kLastTrialIndex + 1.
inline constexpr int kLastTrialIndex = 120;
inline constexpr std::size_t kPrematureEntries = kLastTrialIndex + 1;
inline constexpr std::size_t kReactionTimeEntries = kLastTrialIndex + 2;

// Everything the one test of a run measures. Arrays of trials are indexed by program line index: entry
// i belongs to the trial whose foreperiod is line i, and the indices of marker and count lines hold 0.
// Per-series arrays hold series n (1 to 4) at index n - 1.
struct MeasurementState
{
    std::int32_t stepIndex = 0;      // program line of the trial in progress
    bool acceptingResponses = false; // responses count (between an instruction screen and the next marker)
    std::uint32_t onsetTick = 0;     // clock (ms, cut to 32 bits) when the current stimulus was shown
    std::uint32_t responseTick = 0;  // clock (ms, cut to 32 bits) of the last response
    std::int32_t seriesStart = 0;    // line of the first trial of series 1
    std::int32_t endMarkerIndex = 0; // line of the end marker
    std::array<std::int32_t, kSeriesCount> seriesCount {};
    // Milliseconds from stimulus to response. Held in 32 bits so that a response after more than
    // 65.535 s keeps its true value.
    std::array<std::uint32_t, kReactionTimeEntries> reactionTime {};
    std::array<std::int32_t, kPrematureEntries> prematureCount {};
    std::array<std::int32_t, kSeriesCount> prematureSum {};
    std::array<std::string, kSeriesCount> seriesTextA; // "312|298|" lists, up to about 230 characters
    std::array<std::string, kSeriesCount> seriesTextB; // the rest of each list
    std::array<double, kSeriesCount> seriesMean {};
    std::int32_t evaluatedSeries = 0; // how many series the evaluation filled (0 when none)
    std::string startDirectory;       // the process's current directory at start-up
    FrameStamp onset;                 // the current stimulus's onset, finer than onsetTick
    // The finer timing of each trial (foreperiod, onset and response stamps), by program line as the
    // reaction times. It feeds the timing record; the result row does not use it.
    std::array<TrialTiming, kReactionTimeEntries> timing {};
};

// Starts a test run: zeroes the reaction times and premature counts of lines 1 to 120, the series
// counts and the series means, and forgets the finer timing of every line. Everything else is already
// zero from construction.
void nulovani(MeasurementState& state);

} // namespace engine
