#pragma once

#include "clock.h"
#include "evaluation.h"
#include "foreperiod.h"
#include "measurement_state.h"
#include "program_lines.h"
#include "timing.h"

#include <cstdint>
#include <optional>
#include <string>

namespace engine {

// The one-shot foreperiod timer. The foreperiod is running exactly while the timer is active.
class ForeperiodTimer
{
public:
    virtual ~ForeperiodTimer() = default;

    // Arms the timer to fire once, `intervalMs` milliseconds after `from` (restarting it when it is
    // already active). `from` is a reading of the machine's clock, at most a few milliseconds ago: the
    // moment the screen the foreperiod runs from was out. An interval of 0 fires as soon as the event
    // loop is free. The owner calls TrialMachine::foreperiodElapsed() when it fires.
    virtual void start(std::uint32_t intervalMs, Microseconds from) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

// What the trial machine asks of the test window.
class TestDisplay
{
public:
    virtual ~TestDisplay() = default;

    // Makes the stimulus visible at once (not at some later paint), pushes the frame to the window
    // system and returns when the window system had it: the onset. Nothing may be stamped before the
    // frame is out.
    virtual FrameStamp showStimulus() = 0;
    // Makes the stimulus invisible at once and returns when the window system had that frame.
    virtual FrameStamp hideStimulus() = 0;
    // Loads instruction file `fileName` (relative to the current directory) into the viewer, shows it
    // and gives it the keyboard focus. Throws IoError when the file cannot be opened or read; the
    // viewer is then not shown.
    virtual void showInstruction(const std::string& fileName) = 0;
    // The test window takes the keyboard focus and the viewer is hidden at once; returns when the window
    // system had the black screen.
    virtual FrameStamp leaveInstruction() = 0;
    // The test window takes the keyboard focus.
    virtual void focusTestWindow() = 0;
    // Closes the test window, which ends the program.
    virtual void closeTestWindow() = 0;
};

// The event-driven machine that walks the test program: it arms foreperiods, shows the stimulus, times
// responses, counts premature ones and switches to instruction screens at the markers. All of its state
// lives in the MeasurementState and in the timer's active flag.
//
// Every handler may throw engine::Error; the handler then stops at the failing step and keeps every
// change made before it, so that the machine is left in a defined state (see each handler).
class TrialMachine
{
public:
    // The machine keeps references to all arguments; they must outlive it. `clock` stamps the arming of
    // foreperiods; onsets come from the display and responses from the caller, on the same clock.
    TrialMachine(MeasurementState& state, const ProgramLines& program, Clock& clock, ForeperiodTimer& timer,
                 TestDisplay& display, StoreResult store);

    // Enter typed in the instruction viewer. At line 0 or 1 it starts the practice block, at line 3 or
    // 4 (the start marker) the measured block, past line 5 (the end marker) it evaluates the test,
    // stores the result and closes the test window; at lines 2 and 5 it does nothing.
    void instructionConfirmed();

    // The foreperiod timer fired: the stimulus is shown and timed from the moment the display reports
    // it was out.
    void foreperiodElapsed();

    // A response of the examined person, made at `response.time`. The test window calls it only while
    // state().acceptingResponses is true. During a foreperiod it counts as premature; so does a
    // response made before the onset that reaches the machine only after it (the person pressed while
    // the stimulus was on its way). Otherwise it ends the trial: the reaction time is the response
    // minus the onset, rounded to whole milliseconds, and the machine moves to the next program line.
    void Stisk_tlacitka(const ResponseStamp& response);
    // A response stamped on arrival now, as a key.
    void Stisk_tlacitka();

    const MeasurementState& state() const { return m_state; }

private:
    // Arms the foreperiod of the trial on line `index`, whose text is `line`, to run from
    // `blackScreen`, the moment the stimulus went; without one, the instruction screen is left first and
    // the foreperiod runs from the moment it was gone.
    void armForeperiod(int index, const std::string& line, const std::optional<FrameStamp>& blackScreen);

    MeasurementState& m_state;
    const ProgramLines& m_program;
    Clock& m_clock;
    ForeperiodTimer& m_timer;
    TestDisplay& m_display;
    StoreResult m_store;
};

} // namespace engine
