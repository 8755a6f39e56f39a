// One whole test as a person goes through it: practice, start marker, two measured series with
// premature responses, end marker, counts; checked value by value.
#include "engine/fakes_test.h"
#include "engine/trial_machine.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

using testing::FakeClock;
using testing::FakeDisplay;
using testing::FakeTimer;

TEST(ScriptedTest, PracticeTwoSeriesAndStore)
{
    const TestProgram program("2\r\n"              // 0 practice
                              "1\r\n"              // 1
                              "3\r\n"              // 2
                              "77 tivora2.rtf\r\n" // 3 start marker
                              "1\r\n"              // 4 series 1
                              "2\r\n"              // 5
                              "1\r\n"              // 6
                              "3\r\n"              // 7 series 2
                              "1\r\n"              // 8
                              "4\r\n"              // 9 measured, in no series
                              "88 tivora3.rtf\r\n" // 10 end marker
                              "3\r\n"              // 11 counts
                              "2\r\n");
    MeasurementState state;
    FakeClock ticks;
    FakeTimer timer;
    FakeDisplay display {&ticks};
    std::vector<MeasurementState> stored;
    TrialMachine machine(state, program, ticks, timer, display,
                         [&](const MeasurementState& s) { stored.push_back(s); });
    nulovani(state);

    const auto premature = [&](int times) {
        for (int i = 0; i < times; ++i) {
            ASSERT_TRUE(timer.active);
            ticks.advance(100);
            machine.Stisk_tlacitka();
        }
    };
    const auto trial = [&](std::uint32_t expectedInterval, std::uint32_t reaction) {
        ASSERT_TRUE(timer.active);
        ASSERT_EQ(timer.interval, expectedInterval);
        ticks.advance(expectedInterval);
        machine.foreperiodElapsed();
        ASSERT_TRUE(display.stimulusVisible);
        ticks.advance(reaction);
        machine.Stisk_tlacitka();
        ASSERT_FALSE(display.stimulusVisible);
    };

    // tivora1.rtf is on screen (the data window put it there); Enter starts the practice.
    machine.instructionConfirmed();
    premature(1);
    trial(2000, 412);
    trial(1000, 388);
    trial(3000, 365);
    EXPECT_EQ(display.actions.back(), "instruction:tivora2.rtf");
    EXPECT_FALSE(state.acceptingResponses);

    machine.instructionConfirmed();
    EXPECT_EQ(state.seriesStart, 4);
    trial(1000, 301);
    premature(2);
    trial(2000, 287);
    trial(1000, 315);
    trial(3000, 276);
    premature(1);
    trial(1000, 290);
    premature(3);
    trial(4000, 333);
    EXPECT_EQ(display.actions.back(), "instruction:tivora3.rtf");
    EXPECT_EQ(state.endMarkerIndex, 10);

    machine.instructionConfirmed();
    ASSERT_EQ(stored.size(), 1U);
    const MeasurementState& row = stored[0];
    EXPECT_EQ(row.seriesCount[0], 3);
    EXPECT_EQ(row.seriesCount[1], 2);
    EXPECT_EQ(row.seriesCount[2], 0);
    EXPECT_EQ(row.seriesCount[3], 0);
    EXPECT_DOUBLE_EQ(row.seriesMean[0], (301 + 287 + 315) / 3.0);
    EXPECT_DOUBLE_EQ(row.seriesMean[1], 283.0);
    EXPECT_DOUBLE_EQ(row.seriesMean[2], 0.0);
    EXPECT_EQ(row.prematureSum[0], 2);
    EXPECT_EQ(row.prematureSum[1], 1);
    EXPECT_EQ(row.prematureSum[2], 0);
    EXPECT_EQ(row.seriesTextA[0], "301|287|315|");
    EXPECT_EQ(row.seriesTextA[1], "276|290|");
    EXPECT_TRUE(row.seriesTextB[0].empty());
    EXPECT_TRUE(row.seriesTextA[2].empty());
    // Practice and unassigned trials are measured but belong to no series.
    EXPECT_EQ(row.reactionTime[0], 412U);
    EXPECT_EQ(row.prematureCount[0], 1);
    EXPECT_EQ(row.reactionTime[9], 333U);
    EXPECT_EQ(row.prematureCount[9], 3);
    EXPECT_EQ(row.reactionTime[3], 0U);
    EXPECT_TRUE(display.closed);
    EXPECT_EQ(state.stepIndex, 0);
}

} // namespace
} // namespace engine
