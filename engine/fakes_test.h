#pragma once

#include "engine/trial_machine.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine::testing {

// A clock the test sets by hand, in microseconds.
class FakeClock : public Clock
{
public:
    Microseconds now() override { return value; }
    void waitUntil(Microseconds when) override { value = when > value ? when : value; }
    void advance(std::uint32_t ms) { value += static_cast<Microseconds>(ms) * 1000; }
    void advanceUs(Microseconds us) { value += us; }

    Microseconds value = 1000000;
};

// A foreperiod timer that fires only when the test says so.
class FakeTimer : public ForeperiodTimer
{
public:
    void start(std::uint32_t intervalMs, Microseconds fromTime) override
    {
        interval = intervalMs;
        from = fromTime;
        active = true;
        ++starts;
    }
    void stop() override { active = false; }
    bool isActive() const override { return active; }

    std::uint32_t interval = 0;
    Microseconds from = 0;
    bool active = false;
    int starts = 0;
};

// Records the display actions in order, as short words ("show", "hide", "instruction:f", "leave",
// "focus", "close"). Instruction files listed in `missingFiles` fail to open. The stimulus is out
// `drawUs` after it was asked for, on `clock` (at time 0 without one).
class FakeDisplay : public TestDisplay
{
public:
    explicit FakeDisplay(FakeClock* clockToUse = nullptr)
        : clock(clockToUse)
    { }
    FrameStamp showStimulus() override
    {
        actions.push_back("show");
        stimulusVisible = true;
        if (clock) {
            clock->advanceUs(drawUs);
        }
        return {clock ? clock->now() : 0, FrameSource::Flush};
    }
    FrameStamp hideStimulus() override
    {
        actions.push_back("hide");
        stimulusVisible = false;
        return {clock ? clock->now() : 0, FrameSource::Flush};
    }
    void showInstruction(const std::string& fileName) override;
    FrameStamp leaveInstruction() override
    {
        actions.push_back("leave");
        instructionVisible = false;
        return {clock ? clock->now() : 0, FrameSource::Flush};
    }
    void focusTestWindow() override { actions.push_back("focus"); }
    void closeTestWindow() override
    {
        actions.push_back("close");
        closed = true;
    }

    FakeClock* clock;
    Microseconds drawUs = 0;
    std::vector<std::string> actions;
    std::vector<std::string> missingFiles;
    bool stimulusVisible = false;
    bool instructionVisible = false;
    bool closed = false;
};

} // namespace engine::testing
