#pragma once

#include "engine/trial_machine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::testing {

// A tick counter the test sets by hand.
class FakeTicks : public TickSource
{
public:
    std::uint32_t now() override { return value; }
    void advance(std::uint32_t ms) { value += ms; }

    std::uint32_t value = 1000;
};

// A foreperiod timer that fires only when the test says so.
class FakeTimer : public ForeperiodTimer
{
public:
    void start(std::uint32_t intervalMs) override
    {
        interval = intervalMs;
        active = true;
        ++starts;
    }
    void stop() override { active = false; }
    bool isActive() const override { return active; }

    std::uint32_t interval = 0;
    bool active = false;
    int starts = 0;
};

// Records the display actions in order, as short words ("show", "hide", "instruction:f", "leave",
// "focus", "close"). Instruction files listed in `missingFiles` fail to open.
class FakeDisplay : public TestDisplay
{
public:
    void showStimulus() override
    {
        actions.push_back("show");
        stimulusVisible = true;
    }
    void hideStimulus() override
    {
        actions.push_back("hide");
        stimulusVisible = false;
    }
    void showInstruction(const std::string& fileName) override;
    void leaveInstruction() override
    {
        actions.push_back("leave");
        instructionVisible = false;
    }
    void focusTestWindow() override { actions.push_back("focus"); }
    void closeTestWindow() override
    {
        actions.push_back("close");
        closed = true;
    }

    std::vector<std::string> actions;
    std::vector<std::string> missingFiles;
    bool stimulusVisible = false;
    bool instructionVisible = false;
    bool closed = false;
};

} // namespace engine::testing
