#include "measurement_state.h"

namespace engine {

void nulovani(MeasurementState& state)
{
    for (std::size_t i = 1; i <= static_cast<std::size_t>(kLastTrialIndex); ++i) {
        state.reactionTime[i] = 0;
        state.prematureCount[i] = 0;
    }
    state.seriesCount.fill(0);
    state.seriesMean.fill(0.0);
    state.timing.fill(TrialTiming {});
}

} // namespace engine
