#include "engine/measurement_state.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

TEST(MeasurementStateTest, ResetClearsTrialsSeriesCountsAndMeans)
{
    MeasurementState state;
    state.reactionTime[5] = 300;
    state.reactionTime[120] = 290;
    state.prematureCount[7] = 2;
    state.seriesCount = {20, 20, 0, 5};
    state.seriesMean = {300.5, 1.0, 2.0, 3.0};
    state.startDirectory = "/data";
    nulovani(state);
    EXPECT_EQ(state.reactionTime[5], 0U);
    EXPECT_EQ(state.reactionTime[120], 0U);
    EXPECT_EQ(state.prematureCount[7], 0);
    for (std::size_t n = 0; n < 4; ++n) {
        EXPECT_EQ(state.seriesCount[n], 0);
        EXPECT_DOUBLE_EQ(state.seriesMean[n], 0.0);
    }
    EXPECT_EQ(state.startDirectory, "/data");
}

} // namespace
} // namespace engine
