#include "engine/program_check.h"

#include "engine/errors.h"
#include "engine/evaluation.h"
#include "engine/foreperiod.h"
#include "engine/integer_conversion.h"
#include "engine/measurement_state.h"
#include "engine/trial_machine.h"
#include "text/messages.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <exception>

namespace engine {

namespace {

// The examiner's texts, in the style of the program's other checks ("Chybné rodné číslo  !!  ...").
constexpr const char* kFault = "Chybný program  !!  řádek %d: %s";
constexpr const char* kNotAnInteger = "předperioda „%s“ není celé číslo";
constexpr const char* kOutOfRange = "předperioda „%s“ musí být 0 až %d s";
constexpr const char* kTooLong = "test pojme pokusy jen na řádcích 1 až %d";
constexpr const char* kNeither = "„%s“ není předperioda (jedna číslice) ani značka 77 nebo 88";
constexpr const char* kStartMarkerPlace = "značka 77 musí být na řádku 4 nebo 5";
constexpr const char* kEndMarkerTooEarly = "značka 88 musí být nejdříve na řádku 7";
constexpr const char* kEndWithoutStart = "značce 88 musí předcházet značka 77 na řádku 4 nebo 5";
constexpr const char* kNoEndMarker = "program končí bez značky 88";
constexpr const char* kFileNotLoaded = "soubor „%s“ nelze načíst (%s)";
constexpr const char* kCountNotAnInteger = "počet pokusů série „%s“ není celé číslo";
constexpr const char* kNoCounts = "za značkou 88 chybí počty pokusů sérií";
constexpr const char* kTooManyCounts = "nejvýše 4 řádky s počty pokusů sérií";
constexpr const char* kBeyondTrials = "série %d by sahala za poslední měřený pokus (řádek %d)";
constexpr const char* kBeforeTrials = "série %d by začínala před prvním měřeným pokusem (řádek %d)";

// Every step of the walk moves the machine on by at least one line, and a test holds trials on at most
// 121 lines; this bound only guards against a machine that stops moving.
constexpr int kMaxSteps = 10000;

// The walk: the real trial machine on a clock and a timer that do nothing and a display that only
// records what it is asked, driven as a person who answers every trial drives it.
class DryRun : public Clock, public ForeperiodTimer, public TestDisplay
{
public:
    DryRun(const ProgramLines& program, const InstructionLoader& load)
        : m_program(program)
        , m_load(load)
        , m_machine(m_state, program, *this, *this, *this, [this](const MeasurementState&) { m_evaluated = true; })
    {
        nulovani(m_state);
    }

    std::optional<ProgramFault> run();

    Microseconds now() override { return 0; }
    void waitUntil(Microseconds /*when*/) override { }

    void start(std::uint32_t /*intervalMs*/, Microseconds /*from*/) override { m_timerActive = true; }
    void stop() override { m_timerActive = false; }
    bool isActive() const override { return m_timerActive; }

    FrameStamp showStimulus() override { return {}; }
    FrameStamp hideStimulus() override { return {}; }
    void showInstruction(const std::string& fileName) override;
    FrameStamp leaveInstruction() override
    {
        m_instruction = false;
        return {};
    }
    void focusTestWindow() override { }
    void closeTestWindow() override { m_closed = true; }

private:
    // One event of the person: Enter on the instruction screen, or the stimulus and its response.
    void step();
    void recordFault(int index, const std::string& detail);
    // The fault of a line the machine could not take as a foreperiod.
    void foreperiodFault(int index);
    // The fault of a count line the evaluation could not read.
    void countFault();
    // The rules on the evaluated series counts.
    void checkSeries();

    const ProgramLines& m_program;
    const InstructionLoader& m_load;
    MeasurementState m_state;
    TrialMachine m_machine;
    bool m_timerActive = false;
    bool m_instruction = true; // the first screen is up when the test starts
    bool m_startMarkerSeen = false;
    bool m_closed = false;
    bool m_evaluated = false;
    std::optional<ProgramFault> m_fault;
};

void DryRun::recordFault(int index, const std::string& detail)
{
    if (!m_fault) {
        m_fault = ProgramFault {index + 1, text::formatMessage(kFault, {index + 1, detail})};
    }
}

void DryRun::showInstruction(const std::string& fileName)
{
    m_instruction = true;
    const int index = m_state.stepIndex;
    if (lineKind(m_program.line(index)) == LineKind::StartMarker) {
        // Anywhere else the screen could not be confirmed, or would end the test at once.
        if (index != 3 && index != 4) {
            return recordFault(index, kStartMarkerPlace);
        }
        m_startMarkerSeen = true;
    } else if (!m_startMarkerSeen) {
        return recordFault(index, kEndWithoutStart);
    } else if (index < 6) {
        return recordFault(index, kEndMarkerTooEarly); // its screen could not be confirmed
    }
    try {
        m_load(fileName);
    } catch (const std::exception& error) {
        recordFault(index, text::formatMessage(kFileNotLoaded, {fileName, error.what()}));
    }
}

void DryRun::foreperiodFault(int index)
{
    const std::string line = m_program.line(index);
    switch (lineKind(line)) {
    case LineKind::StartMarker:
        return recordFault(index, kStartMarkerPlace);
    case LineKind::EndMarker:
        return recordFault(index, m_startMarkerSeen ? kEndMarkerTooEarly : kEndWithoutStart);
    case LineKind::Foreperiod:
    case LineKind::Other:
        break;
    }
    if (index >= m_program.lineCount()) {
        return recordFault(index, kNoEndMarker);
    }
    if (!tryToInteger(line)) {
        return recordFault(index, text::formatMessage(kNotAnInteger, {line}));
    }
    recordFault(index, text::formatMessage(kOutOfRange, {line, static_cast<long long>(kMaxForeperiodSeconds)}));
}

void DryRun::countFault()
{
    // The evaluation reads the first four count lines; the first that is no integer stopped it.
    const int end = m_state.endMarkerIndex;
    const int last = std::min(lastSeriesCountLine(m_program, end), end + kSeriesCount);
    for (int i = end + 1; i <= last; ++i) {
        if (!tryToInteger(m_program.line(i))) {
            return recordFault(i, text::formatMessage(kCountNotAnInteger, {m_program.line(i)}));
        }
    }
}

void DryRun::step()
{
    if (m_instruction) {
        const int before = m_state.stepIndex;
        try {
            m_machine.instructionConfirmed();
        } catch (const FormatError&) {
            return before > 5 ? countFault() : foreperiodFault(m_state.stepIndex);
        }
        if (m_instruction && !m_closed && m_state.stepIndex == before) {
            foreperiodFault(before); // a screen that Enter cannot confirm: a marker out of its place
        }
        return;
    }
    if (!m_timerActive) {
        // The machine waits on a line that neither arms a foreperiod nor shows a screen.
        return recordFault(m_state.stepIndex, text::formatMessage(kNeither, {m_program.line(m_state.stepIndex)}));
    }
    m_machine.foreperiodElapsed();
    try {
        m_machine.Stisk_tlacitka();
    } catch (const FormatError&) {
        foreperiodFault(m_state.stepIndex);
    }
}

void DryRun::checkSeries()
{
    const int end = m_state.endMarkerIndex;
    const int counts = lastSeriesCountLine(m_program, end) - end;
    if (counts == 0) {
        return recordFault(end + 1, kNoCounts);
    }
    if (counts > kSeriesCount) {
        return recordFault(end + 1 + kSeriesCount, kTooManyCounts);
    }
    // The measured trials lie on the lines from seriesStart to the one before the end marker.
    std::int64_t first = m_state.seriesStart;
    for (int n = 0; n < counts; ++n) {
        const std::int64_t count = m_state.seriesCount[static_cast<std::size_t>(n)];
        if (count > 0 && first < m_state.seriesStart) {
            return recordFault(end + 1 + n, text::formatMessage(kBeforeTrials, {n + 1, m_state.seriesStart + 1}));
        }
        if (count > 0 && first + count > end) {
            return recordFault(end + 1 + n, text::formatMessage(kBeyondTrials, {n + 1, end}));
        }
        first += count;
    }
}

std::optional<ProgramFault> DryRun::run()
{
    for (int steps = 0; steps < kMaxSteps && !m_closed && !m_fault; ++steps) {
        try {
            step();
        } catch (const ProgramError&) {
            recordFault(m_state.stepIndex, text::formatMessage(kTooLong, {kLastTrialIndex + 1}));
        }
    }
    if (!m_fault && !m_closed) {
        recordFault(m_state.stepIndex, kNoEndMarker); // not reached: every step moves on by a line
    }
    if (!m_fault) {
        assert(m_evaluated);
        checkSeries();
    }
    return m_fault;
}

} // namespace

std::optional<ProgramFault> checkProgram(const ProgramLines& program, const InstructionLoader& load)
{
    return DryRun(program, load).run();
}

} // namespace engine
