#include "trial_machine.h"

#include "errors.h"
#include "messages.h"

#include <utility>

namespace engine {

namespace {

// Fails unless line `index` can hold a trial. Nothing is changed by the check, so a program that runs
// past the arrays stops there with everything measured so far intact.
void requireTrialLine(int index)
{
    if (index < 0 || index > kLastTrialIndex) {
        throw ProgramError(text::formatMessage(messages::kProgramTooLong, {index + 1, kLastTrialIndex + 1}));
    }
}

std::size_t at(int index)
{
    return static_cast<std::size_t>(index);
}

} // namespace

TrialMachine::TrialMachine(MeasurementState& state, const ProgramLines& program, TickSource& ticks,
                           ForeperiodTimer& timer, TestDisplay& display, StoreResult store)
    : m_state(state)
    , m_program(program)
    , m_ticks(ticks)
    , m_timer(timer)
    , m_display(display)
    , m_store(std::move(store))
{ }

void TrialMachine::armForeperiod(int index, const std::string& line)
{
    const std::uint32_t interval = foreperiodMilliseconds(line);
    requireTrialLine(index);
    m_timer.start(interval);
}

void TrialMachine::instructionConfirmed()
{
    MeasurementState& s = m_state;
    if (s.stepIndex < 2) {
        // Start of the practice block: the first foreperiod may be any whole number of seconds.
        armForeperiod(s.stepIndex, m_program.line(s.stepIndex));
        m_display.leaveInstruction();
        s.acceptingResponses = true;
    } else if (s.stepIndex > 2 && s.stepIndex < 5) {
        // Start of the measured block, on the line after the start marker.
        ++s.stepIndex;
        s.seriesStart = s.stepIndex;
        armForeperiod(s.stepIndex, m_program.line(s.stepIndex));
        m_display.leaveInstruction();
        s.acceptingResponses = true;
    } else if (s.stepIndex > 5) {
        // The closing screen: evaluate, store, end. A failure leaves the closing screen up.
        ++s.stepIndex;
        m_display.focusTestWindow();
        vyhodnoceni(s, m_program, m_store);
        m_display.closeTestWindow();
    }
}

void TrialMachine::foreperiodElapsed()
{
    m_state.onsetTick = m_ticks.now();
    m_display.showStimulus();
    m_timer.stop();
}

void TrialMachine::Stisk_tlacitka()
{
    // The tick is taken first, before any drawing or file access.
    const std::uint32_t tick = m_ticks.now();
    MeasurementState& s = m_state;
    if (m_timer.isActive()) {
        requireTrialLine(s.stepIndex);
        ++s.prematureCount[at(s.stepIndex)];
        return;
    }
    requireTrialLine(s.stepIndex);
    s.responseTick = tick;
    m_display.hideStimulus();
    // Unsigned 32-bit difference: right also when the tick counter wraps between onset and response.
    s.reactionTime[at(s.stepIndex)] = s.responseTick - s.onsetTick;
    ++s.stepIndex;
    const std::string line = m_program.line(s.stepIndex);
    switch (lineKind(line)) {
    case LineKind::Foreperiod:
        armForeperiod(s.stepIndex, line);
        break;
    case LineKind::StartMarker:
        s.acceptingResponses = false;
        s.seriesStart = s.stepIndex;
        m_display.showInstruction(markerFileName(line));
        break;
    case LineKind::EndMarker:
        s.endMarkerIndex = s.stepIndex;
        s.acceptingResponses = false;
        m_display.showInstruction(markerFileName(line));
        break;
    case LineKind::Other:
        // Neither a foreperiod nor a marker: the machine waits, and the next response is timed against
        // the same onset.
        break;
    }
}

} // namespace engine
