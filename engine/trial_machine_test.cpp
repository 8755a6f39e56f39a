#include "engine/errors.h"
#include "engine/fakes_test.h"
#include "engine/trial_machine.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace engine {
namespace {

using testing::FakeClock;
using testing::FakeDisplay;
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
    FakeClock ticks;
    FakeTimer timer;
    FakeDisplay display {&ticks};
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
    const Microseconds onset = ticks.value;
    respondAfter(200);
    EXPECT_FALSE(timer.active);
    EXPECT_TRUE(state.acceptingResponses);
    EXPECT_EQ(state.stepIndex, 1);
    respondAfter(150);
    EXPECT_EQ(state.reactionTime[1], static_cast<std::uint32_t>((ticks.value - onset) / 1000));
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

TEST_F(TrialMachineTest, TheOnsetIsWhenTheFrameWasOutAndTheTimesAreRounded)
{
    // Drawing takes 7.4 ms: the onset is stamped after it, and the reaction time is the response's own
    // time minus that onset, rounded from the microseconds.
    display.drawUs = 7400;
    load("1\r\n1\r\n1\r\n");
    confirm();
    const Microseconds armed = ticks.value;
    ticks.advance(1000);
    fire();
    EXPECT_EQ(state.onset.time, armed + 1007400);
    EXPECT_EQ(state.onsetTick, static_cast<std::uint32_t>((armed + 1007400 + 500) / 1000));
    ticks.advance(900); // the event loop was late: the response happened 300.5 ms after the onset
    machine.Stisk_tlacitka({state.onset.time + 300500, ResponseSource::Event, InputKind::Left});
    EXPECT_EQ(state.reactionTime[0], 301U);
    EXPECT_EQ(state.responseTick, static_cast<std::uint32_t>((state.onset.time + 300500 + 500) / 1000));

    const TrialTiming& timing = state.timing[0];
    EXPECT_TRUE(timing.armed && timing.answered);
    EXPECT_EQ(timing.programmedMs, 1000U);
    EXPECT_EQ(timing.armedAt, armed);
    EXPECT_EQ(timing.onset.time - timing.armedAt, 1007400);
    EXPECT_EQ(timing.response.time - timing.onset.time, 300500);
    EXPECT_EQ(timing.response.input, InputKind::Left);
    EXPECT_EQ(timing.response.source, ResponseSource::Event);

    fire();
    machine.Stisk_tlacitka({state.onset.time + 299499, ResponseSource::Event, InputKind::Key});
    EXPECT_EQ(state.reactionTime[1], 299U);
}

TEST_F(TrialMachineTest, APressMadeBeforeTheOnsetIsPrematureHoweverLateItArrives)
{
    load("1\r\n1\r\n");
    confirm();
    ticks.advance(1000);
    fire();
    const Microseconds onset = state.onset.time;
    // Pressed 2 ms before the stimulus was out, handled after the timer had fired.
    machine.Stisk_tlacitka({onset - 2000, ResponseSource::Event, InputKind::Key});
    EXPECT_EQ(state.prematureCount[0], 1);
    EXPECT_EQ(state.stepIndex, 0);
    EXPECT_TRUE(display.stimulusVisible);
    // A press in the very millisecond of the onset is a response of 0 ms.
    machine.Stisk_tlacitka({onset, ResponseSource::Event, InputKind::Key});
    EXPECT_EQ(state.reactionTime[0], 0U);
    EXPECT_EQ(state.stepIndex, 1);
    EXPECT_FALSE(state.timing[1].answered);
    EXPECT_TRUE(state.timing[1].armed);
}

TEST_F(TrialMachineTest, LongResponsesKeepTheTrueTime)
{
    load("1\r\n1\r\n1\r\n");
    confirm();
    trial(70000);
    EXPECT_EQ(state.reactionTime[0], 70000U);

    // The 32-bit tick fields wrap; the reaction time does not care.
    ticks.value = Microseconds {0xFFFFFF00LL} * 1000;
    trial(300);
    EXPECT_EQ(state.reactionTime[1], 300U);
    EXPECT_EQ(state.responseTick - state.onsetTick, 300U);
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
