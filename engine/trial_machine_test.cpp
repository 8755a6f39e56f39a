#include "engine/errors.h"
#include "engine/fakes_test.h"
#include "engine/trial_machine.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace engine {
namespace {

using testing::FakeDisplay;
using testing::FakeTicks;
using testing::FakeTimer;

class TrialMachineTest : public ::testing::Test
{
protected:
    void load(const std::string& text) { program = TestProgram(text); }

    // Enter on the instruction screen.
    void confirm() { machine.instructionConfirmed(); }
    // The foreperiod elapses; the stimulus appears.
    void fire()
    {
        ASSERT_TRUE(timer.active) << "no foreperiod is running";
        machine.foreperiodElapsed();
    }
    // A response `ms` milliseconds from now.
    void respondAfter(std::uint32_t ms)
    {
        ticks.advance(ms);
        machine.Stisk_tlacitka();
    }
    // A whole trial: stimulus, then a response after `ms`.
    void trial(std::uint32_t ms)
    {
        fire();
        respondAfter(ms);
    }
    // The message of the engine::Error that `action` throws, or "" when it throws none.
    template<typename Action>
    std::string errorOf(Action action)
    {
        try {
            action();
        } catch (const Error& error) {
            return error.what();
        }
        return {};
    }

    MeasurementState state;
    TestProgram program;
    FakeTicks ticks;
    FakeTimer timer;
    FakeDisplay display;
    std::vector<MeasurementState> stored;
    TrialMachine machine {state, program, ticks,
                          timer, display, [this](const MeasurementState& s) {
                             stored.push_back(s); }};
};

TEST_F(TrialMachineTest, FirstConfirmationArmsLineZeroWithoutMoving)
{
    load("3\r\n2\r\n");
    confirm();
    EXPECT_TRUE(timer.active);
    EXPECT_EQ(timer.interval, 3000U);
    EXPECT_EQ(state.stepIndex, 0);
    EXPECT_TRUE(state.acceptingResponses);
    EXPECT_EQ(display.actions, (std::vector<std::string> {"leave"}));
}

TEST_F(TrialMachineTest, FirstForeperiodOfABlockMayHaveSeveralCharacters)
{
    load("12\r\n1\r\n");
    confirm();
    EXPECT_EQ(timer.interval, 12000U);

    // The same text later in a block is neither a foreperiod nor a marker: the machine waits, and the
    // next response is timed against the old onset and moves on again.
    load("1\r\n12\r\n2\r\n");
    state = MeasurementState {};
    timer = FakeTimer {};
    confirm();
    fire();
    const std::uint32_t onset = ticks.value;
    respondAfter(200);
    EXPECT_FALSE(timer.active);
    EXPECT_TRUE(state.acceptingResponses);
    EXPECT_EQ(state.stepIndex, 1);
    respondAfter(150);
    EXPECT_EQ(state.reactionTime[1], ticks.value - onset);
    EXPECT_EQ(state.stepIndex, 2);
    EXPECT_EQ(timer.interval, 2000U);
}

TEST_F(TrialMachineTest, PrematureResponsesCountWithoutEndingTheTrial)
{
    load("2\r\n1\r\n");
    confirm();
    respondAfter(100);
    respondAfter(100);
    EXPECT_EQ(state.prematureCount[0], 2);
    EXPECT_TRUE(timer.active);
    EXPECT_EQ(state.stepIndex, 0);
    EXPECT_EQ(display.actions, (std::vector<std::string> {"leave"}));

    trial(275);
    EXPECT_EQ(state.reactionTime[0], 275U);
    EXPECT_EQ(state.prematureCount[0], 2);
    EXPECT_EQ(state.stepIndex, 1);
    EXPECT_EQ(timer.interval, 1000U);
    EXPECT_TRUE(timer.active);
    EXPECT_EQ(display.actions, (std::vector<std::string> {"leave", "show", "hide"}));
}

TEST_F(TrialMachineTest, TimingUsesTicksTakenBeforeAnyDrawing)
{
    // A display that takes time to draw must not add that time to the reaction.
    class SlowDisplay : public FakeDisplay
    {
    public:
        explicit SlowDisplay(FakeTicks& clock)
            : m_clock(clock)
        { }
        void showStimulus() override
        {
            FakeDisplay::showStimulus();
            m_clock.advance(7);
        }
        void hideStimulus() override
        {
            FakeDisplay::hideStimulus();
            m_clock.advance(9);
        }

    private:
        FakeTicks& m_clock;
    };
    SlowDisplay slow(ticks);
    TrialMachine slowMachine(state, program, ticks, timer, slow, [](const MeasurementState&) {});
    load("1\r\n1\r\n");
    slowMachine.instructionConfirmed();
    slowMachine.foreperiodElapsed();
    const std::uint32_t onset = ticks.value - 7;
    ticks.advance(300);
    const std::uint32_t response = ticks.value;
    slowMachine.Stisk_tlacitka();
    EXPECT_EQ(state.onsetTick, onset);
    EXPECT_EQ(state.responseTick, response);
    EXPECT_EQ(state.reactionTime[0], 307U);
}

TEST_F(TrialMachineTest, LongResponsesAndTickWrapKeepTheTrueTime)
{
    load("1\r\n1\r\n1\r\n");
    confirm();
    trial(70000);
    EXPECT_EQ(state.reactionTime[0], 70000U);

    ticks.value = 0xFFFFFF00U;
    trial(300);
    EXPECT_EQ(state.reactionTime[1], 300U);
}

TEST_F(TrialMachineTest, StartMarkerLeadsIntoTheMeasuredBlock)
{
    load("1\r\n1\r\n1\r\n77 tivora2.rtf\r\n2\r\n");
    confirm();
    trial(300);
    trial(300);
    trial(300);
    EXPECT_EQ(state.stepIndex, 3);
    EXPECT_EQ(state.seriesStart, 3);
    EXPECT_FALSE(state.acceptingResponses);
    EXPECT_FALSE(timer.active);
    EXPECT_EQ(display.actions.back(), "instruction:tivora2.rtf");

    confirm();
    EXPECT_EQ(state.stepIndex, 4);
    EXPECT_EQ(state.seriesStart, 4);
    EXPECT_EQ(timer.interval, 2000U);
    EXPECT_TRUE(state.acceptingResponses);
    EXPECT_EQ(display.actions.back(), "leave");
}

TEST_F(TrialMachineTest, MarkerFileNameStartsAtTheFourthCharacter)
{
    load("1\r\n77xčtení.rtf\r\n");
    confirm();
    trial(250);
    EXPECT_EQ(display.actions.back(), "instruction:čtení.rtf");

    // A marker of two characters names an empty file, which cannot be opened.
    load("1\r\n77\r\n");
    state = MeasurementState {};
    display.missingFiles = {""};
    confirm();
    fire();
    EXPECT_EQ(errorOf([&] { respondAfter(250); }), "Cannot open file ");
    EXPECT_FALSE(state.acceptingResponses);
    EXPECT_FALSE(display.instructionVisible);
}

TEST_F(TrialMachineTest, ConfirmationAtLinesTwoAndFiveDoesNothing)
{
    load("1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n");
    for (const int step : {2, 5}) {
        state.stepIndex = step;
        confirm();
        EXPECT_EQ(state.stepIndex, step);
        EXPECT_FALSE(timer.active);
        EXPECT_TRUE(display.actions.empty());
        EXPECT_TRUE(stored.empty());
    }
}

TEST_F(TrialMachineTest, ClosingScreenEvaluatesStoresAndCloses)
{
    load("1\r\n1\r\n1\r\n77 b.rtf\r\n1\r\n1\r\n88 c.rtf\r\n2\r\n");
    confirm();
    for (int i = 0; i < 3; ++i) {
        trial(200);
    }
    confirm();
    trial(310);
    trial(290);
    EXPECT_EQ(state.endMarkerIndex, 6);
    EXPECT_FALSE(state.acceptingResponses);
    EXPECT_EQ(display.actions.back(), "instruction:c.rtf");

    confirm();
    ASSERT_EQ(stored.size(), 1U);
    EXPECT_EQ(stored[0].seriesCount[0], 2);
    EXPECT_DOUBLE_EQ(stored[0].seriesMean[0], 300.0);
    EXPECT_EQ(stored[0].seriesTextA[0], "310|290|");
    EXPECT_EQ(state.stepIndex, 0);
    const std::vector<std::string> tail(display.actions.end() - 2, display.actions.end());
    EXPECT_EQ(tail, (std::vector<std::string> {"focus", "close"}));
}

TEST_F(TrialMachineTest, FailedStoreKeepsTheClosingScreenForAnotherTry)
{
    load("1\r\n1\r\n1\r\n77 b.rtf\r\n1\r\n1\r\n88 c.rtf\r\n2\r\n");
    int attempts = 0;
    TrialMachine failing(state, program, ticks, timer, display, [&](const MeasurementState& s) {
        if (++attempts == 1) {
            throw IoError("Cannot open file tivora4.DBF");
        }
        stored.push_back(s);
    });
    failing.instructionConfirmed();
    for (int i = 0; i < 5; ++i) {
        failing.foreperiodElapsed();
        ticks.advance(250);
        failing.Stisk_tlacitka();
        if (i == 2) {
            failing.instructionConfirmed();
        }
    }
    EXPECT_EQ(errorOf([&] { failing.instructionConfirmed(); }), "Cannot open file tivora4.DBF");
    EXPECT_GT(state.stepIndex, 5);
    EXPECT_FALSE(timer.active);
    EXPECT_FALSE(display.closed);

    failing.instructionConfirmed();
    ASSERT_EQ(stored.size(), 1U);
    EXPECT_EQ(stored[0].seriesTextA[0], "250|250|");
    EXPECT_EQ(stored[0].prematureSum[0], 0);
    EXPECT_TRUE(display.closed);
}

TEST_F(TrialMachineTest, BadForeperiodLinesFailAndLeaveADefinedState)
{
    // In the response handler: the reaction time and the new line are kept, nothing is armed.
    load("1\r\n\r\n1\r\n");
    confirm();
    fire();
    EXPECT_EQ(errorOf([&] { respondAfter(280); }), "'' is not a valid integer value");
    EXPECT_EQ(state.reactionTime[0], 280U);
    EXPECT_EQ(state.stepIndex, 1);
    EXPECT_FALSE(timer.active);
    EXPECT_TRUE(state.acceptingResponses);

    // Practice start: the instruction stays up and responses stay off.
    load("ab\r\n");
    state = MeasurementState {};
    display.actions.clear();
    EXPECT_EQ(errorOf([&] { confirm(); }), "'ab' is not a valid integer value");
    EXPECT_FALSE(state.acceptingResponses);
    EXPECT_TRUE(display.actions.empty());

    // Measured-block start: step index and series start have already moved.
    load("1\r\n1\r\n1\r\n77 b.rtf\r\nx\r\n");
    state = MeasurementState {};
    state.stepIndex = 3;
    EXPECT_EQ(errorOf([&] { confirm(); }), "'x' is not a valid integer value");
    EXPECT_EQ(state.stepIndex, 4);
    EXPECT_EQ(state.seriesStart, 4);
    EXPECT_FALSE(state.acceptingResponses);
}

TEST_F(TrialMachineTest, ProgramWithoutEndMarkerStopsAfterItsLastTrial)
{
    load("1\r\n1\r\n");
    confirm();
    trial(200);
    fire();
    EXPECT_EQ(errorOf([&] { respondAfter(220); }), "'' is not a valid integer value");
    EXPECT_EQ(state.reactionTime[1], 220U);
    EXPECT_EQ(state.stepIndex, 2);
}

TEST_F(TrialMachineTest, ZeroAndNegativeForeperiods)
{
    // "0" shows the stimulus at once instead of hanging the test: the timer is armed with 0 ms, which
    // the timer fires as soon as the event loop is free.
    load("0\r\n0\r\n");
    confirm();
    EXPECT_TRUE(timer.active);
    EXPECT_EQ(timer.interval, 0U);
    trial(240);
    EXPECT_EQ(state.reactionTime[0], 240U);
    EXPECT_EQ(timer.interval, 0U);

    load("-3\r\n");
    state = MeasurementState {};
    timer = FakeTimer {};
    EXPECT_EQ(errorOf([&] { confirm(); }), "'-3' is not a valid foreperiod value");
    EXPECT_FALSE(timer.active);
    EXPECT_FALSE(state.acceptingResponses);
}

TEST_F(TrialMachineTest, ProgramLongerThanTheArraysStopsWithEverythingKept)
{
    std::string text;
    for (int i = 0; i < 130; ++i) {
        text += "1\r\n";
    }
    load(text);
    confirm();
    for (int i = 0; i < 120; ++i) {
        trial(static_cast<std::uint32_t>(200 + i));
    }
    ASSERT_EQ(state.stepIndex, 120);
    fire();
    const std::string message = errorOf([&] { respondAfter(500); });
    EXPECT_EQ(message,
              "The test program is too long: line 122 would be a trial, but a test holds trials on "
              "lines 1 to 121 only");
    EXPECT_EQ(state.reactionTime[120], 500U);
    EXPECT_EQ(state.reactionTime[119], 319U);
    EXPECT_EQ(state.stepIndex, 121);
    EXPECT_FALSE(timer.active);

    // Further responses are refused without touching anything.
    EXPECT_EQ(errorOf([&] { respondAfter(100); }), message);
    EXPECT_EQ(state.stepIndex, 121);
    EXPECT_EQ(state.reactionTime[121], 0U);
}

TEST(ForeperiodTest, SecondsBecomeMilliseconds)
{
    EXPECT_EQ(foreperiodMilliseconds("9"), 9000U);
    EXPECT_EQ(foreperiodMilliseconds(" $A"), 10000U);
    EXPECT_EQ(foreperiodMilliseconds("2147483"), 2147483000U);
    EXPECT_THROW(foreperiodMilliseconds("2147484"), FormatError);
    EXPECT_THROW(foreperiodMilliseconds("9 "), FormatError);
}

} // namespace
} // namespace engine
