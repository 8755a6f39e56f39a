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

// A clock reading in whole milliseconds, cut to the 32 bits of the measurement's tick fields.
std::uint32_t milliseconds(Microseconds time)
{
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(roundToMilliseconds(time)));
}

} // namespace

TrialMachine::TrialMachine(MeasurementState& state, const ProgramLines& program, Clock& clock, ForeperiodTimer& timer,
                           TestDisplay& display, StoreResult store)
    : m_state(state)
    , m_program(program)
    , m_clock(clock)
    , m_timer(timer)
    , m_display(display)
    , m_store(std::move(store))
{ }

void TrialMachine::armForeperiod(int index, const std::string& line, const std::optional<FrameStamp>& blackScreen)
{
    const std::uint32_t interval = foreperiodMilliseconds(line);
    requireTrialLine(index);
    // At the start of a block the instruction goes first: the foreperiod runs from a black screen. (A
    // line that is no foreperiod has failed above with the viewer still on screen.) It runs from the
    // moment that screen was out, as the person saw it, not from whenever the timer got armed.
    const FrameStamp from = blackScreen ? *blackScreen : m_display.leaveInstruction();
    TrialTiming& timing = m_state.timing[at(index)];
    timing = TrialTiming {};
    timing.armed = true;
    timing.programmedMs = interval;
    timing.armedAt = from.time;
    m_timer.start(interval, from.time);
}

void TrialMachine::instructionConfirmed()
{
    MeasurementState& s = m_state;
    if (s.stepIndex < 2) {
        // Start of the practice block: the first foreperiod may be any whole number of seconds.
        armForeperiod(s.stepIndex, m_program.line(s.stepIndex), std::nullopt);
        s.acceptingResponses = true;
    } else if (s.stepIndex > 2 && s.stepIndex < 5) {
        // Start of the measured block, on the line after the start marker.
        ++s.stepIndex;
        s.seriesStart = s.stepIndex;
        armForeperiod(s.stepIndex, m_program.line(s.stepIndex), std::nullopt);
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
    // The onset is the moment the display had the frame, not the moment it was asked to draw it.
    m_state.onset = m_display.showStimulus();
    m_state.onsetTick = milliseconds(m_state.onset.time);
    m_timer.stop();
}

void TrialMachine::Stisk_tlacitka()
{
    Stisk_tlacitka({m_clock.now(), ResponseSource::Arrival, InputKind::Key});
}

void TrialMachine::Stisk_tlacitka(const ResponseStamp& response)
{
    MeasurementState& s = m_state;
    // A press stamped before the onset happened during the foreperiod, however late it arrived.
    if (m_timer.isActive() || response.time < s.onset.time) {
        requireTrialLine(s.stepIndex);
        ++s.prematureCount[at(s.stepIndex)];
        return;
    }
    requireTrialLine(s.stepIndex);
    // The next line is read before the stimulus goes (no event comes between), so that nothing slow
    // stands between the stimulus going and the next foreperiod being armed.
    const std::string line = m_program.line(s.stepIndex + 1);
    s.responseTick = milliseconds(response.time);
    const FrameStamp stimulusGone = m_display.hideStimulus();
    // Rounded from the microseconds, not the difference of two whole-millisecond readings.
    s.reactionTime[at(s.stepIndex)] = static_cast<std::uint32_t>(roundToMilliseconds(response.time - s.onset.time));
    TrialTiming& timing = s.timing[at(s.stepIndex)];
    timing.answered = true;
    timing.onset = s.onset;
    timing.response = response;
    ++s.stepIndex;
    switch (lineKind(line)) {
    case LineKind::Foreperiod:
        armForeperiod(s.stepIndex, line, stimulusGone);
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
