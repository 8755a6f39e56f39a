// Any bytes as program.txt, and any sequence of the test window's events over the program they make.
// Decoding and saving give back the file's bytes; the lines split and join back to the text; the
// integer conversion agrees with a plain reading of its grammar; the trial machine and the evaluation
// either go on or stop with a message, and a stored row always fits the results table. A program that
// the check before a test accepts runs through to its stored row, whatever premature responses come.
//
// Input: one byte n, then n bytes of events, then the program file.
#include "engine/errors.h"
#include "engine/integer_conversion.h"
#include "engine/program_check.h"
#include "engine/program_file.h"
#include "engine/trial_machine.h"
#include "fuzz/fuzz_support.h"
#include "results/result_record.h"

#include <optional>

namespace {

// The integer grammar read literally: spaces, an optional sign, then decimal digits, or hexadecimal
// digits after "$", "x", "X", "0x" or "0X"; decimal values in the signed 32-bit range, hexadecimal
// ones in 32 bits taken as two's complement.
std::optional<std::int32_t> referenceInteger(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos++] == '-';
    }
    std::string_view digits = text.substr(pos);
    const bool hex = !digits.empty() && (digits[0] == '$' || digits[0] == 'x' || digits[0] == 'X');
    const bool hex0x = digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    digits.remove_prefix(hex ? 1 : hex0x ? 2 : 0);
    const std::string_view allowed = hex || hex0x ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.find_first_not_of(allowed) != std::string_view::npos) {
        return std::nullopt;
    }
    const int base = hex || hex0x ? 16 : 10;
    std::uint64_t magnitude = 0;
    for (const char c : digits) {
        const auto digit = static_cast<std::uint64_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        magnitude = magnitude * static_cast<std::uint64_t>(base) + digit;
        if (magnitude > 0xFFFFFFFFULL) {
            return std::nullopt;
        }
    }
    if (base == 10) {
        const std::int64_t value
            = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
        if (value < INT32_MIN || value > INT32_MAX) {
            return std::nullopt;
        }
        return static_cast<std::int32_t>(value);
    }
    const auto bits = static_cast<std::uint32_t>(negative ? 0x100000000ULL - magnitude : magnitude);
    return static_cast<std::int32_t>(bits);
}

void checkLines(const engine::TestProgram& program, const std::string& text)
{
    std::string joined;
    for (int i = 0; i < program.lineCount(); ++i) {
        const std::string line = program.line(i);
        fuzz::require(line.find_first_of("\r\n") == std::string::npos, "a line holds no line end");
        joined += (i > 0 ? "\r\n" : "") + line;
        engine::lineKind(line);
        engine::markerFileName(line);
        const auto value = engine::tryToInteger(line);
        fuzz::require(value == referenceInteger(line), "the integer conversion follows its grammar");
        try {
            fuzz::require(engine::toInteger(line) == value, "both conversions agree");
        } catch (const engine::FormatError& error) {
            // what() is a C string: a NUL in the line ends the message there.
            const std::string expected = "'" + line + "' is not a valid integer value";
            fuzz::require(!value && error.what() == std::string(expected.c_str()),
                          "a non-integer is reported with its text");
        }
    }
    const bool finalLineEnd = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    fuzz::require(joined + (finalLineEnd ? "\r\n" : "") == text, "the lines are the text");
    fuzz::require(program.line(-1).empty() && program.line(program.lineCount()).empty(), "outside is empty");
}

class Timer : public engine::ForeperiodTimer
{
public:
    void start(std::uint32_t, engine::Microseconds) override { m_active = true; }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

private:
    bool m_active = false;
};

class Clock : public engine::Clock
{
public:
    engine::Microseconds now() override { return value; }
    void waitUntil(engine::Microseconds when) override { value = when > value ? when : value; }
    engine::Microseconds value = engine::Microseconds {0xFFFFF000LL} * 1000; // close to the 32-bit tick wrap
};

// Instruction files with a name show; a marker without one names a file that cannot be opened.
class Display : public engine::TestDisplay
{
public:
    engine::FrameStamp showStimulus() override { return {onset, engine::FrameSource::Flush}; }
    engine::Microseconds onset = 0;
    engine::FrameStamp hideStimulus() override { return {}; }
    void showInstruction(const std::string& fileName) override
    {
        if (fileName.empty()) {
            throw engine::IoError("Cannot open file ");
        }
    }
    engine::FrameStamp leaveInstruction() override { return {}; }
    void focusTestWindow() override { }
    void closeTestWindow() override { }
};

// Encodes the result row as the results table would store it; a value that does not fit throws the
// table's message, as a real store does.
void storeRow(const engine::MeasurementState& state)
{
    std::vector<storage::TableFieldDef> fields = results::resultTableFields();
    std::size_t offset = 1;
    for (auto& field : fields) {
        field = storage::normalizeFieldDef(field.name, field.type, field.width, field.decimals);
        field.offset = offset;
        offset += static_cast<std::size_t>(field.width);
    }
    const results::ResultRecord record = results::makeResultRecord(state, {});
    storage::RowBuffer row(offset);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        storage::EncodeField(row, fields[i], storage::checkAssignment(fields[i], record.values[i]));
    }
}

void runMachine(const engine::TestProgram& program, fuzz::InputReader& events)
{
    engine::MeasurementState state;
    engine::nulovani(state);
    Clock ticks;
    Timer timer;
    Display display;
    engine::TrialMachine machine(state, program, ticks, timer, display, storeRow);
    while (!events.empty()) {
        const std::uint8_t event = events.byte();
        try {
            switch (event % 4) {
            case 0:
                machine.instructionConfirmed();
                break;
            case 1:
                if (timer.isActive()) {
                    display.onset = ticks.value;
                    machine.foreperiodElapsed();
                }
                break;
            case 2:
                if (state.acceptingResponses) {
                    // Now and then a response stamped before its arrival, as input events are.
                    machine.Stisk_tlacitka({ticks.value - (event & 0x80U ? 1500 : 0), engine::ResponseSource::Event,
                                            engine::InputKind::Key});
                }
                break;
            default:
                ticks.value += 37000 * (event / 4U);
                break;
            }
        } catch (const engine::Error& error) {
            fuzz::require(error.what()[0] != '\0', "a failure says why");
        }
    }
}

// The screens and the end of a test, as a person going through it sees them.
class WalkDisplay : public Display
{
public:
    void showInstruction(const std::string& fileName) override
    {
        Display::showInstruction(fileName);
        instruction = true;
    }
    engine::FrameStamp leaveInstruction() override
    {
        instruction = false;
        return {};
    }
    void closeTestWindow() override { closed = true; }

    bool instruction = true; // the first screen is up when the test starts
    bool closed = false;
};

void checkAcceptedProgramRuns(const engine::TestProgram& program, fuzz::InputReader& events)
{
    const auto fault = engine::checkProgram(program, [](const std::string& fileName) {
        if (fileName.empty()) {
            throw engine::IoError("Cannot open file ");
        }
    });
    if (fault) {
        fuzz::require(fault->line >= 1 && !fault->message.empty(), "a refusal names the line and the fault");
        return;
    }
    engine::MeasurementState state;
    engine::nulovani(state);
    Clock ticks;
    Timer timer;
    WalkDisplay display;
    bool stored = false;
    engine::TrialMachine machine(state, program, ticks, timer, display, [&](const engine::MeasurementState& s) {
        storeRow(s);
        stored = true;
    });
    // Anything the machine or the evaluation throws here ends the run as a crash.
    for (int steps = 0; !display.closed; ++steps) {
        fuzz::require(steps < 1000, "an accepted program comes to its end");
        if (display.instruction) {
            machine.instructionConfirmed();
            continue;
        }
        fuzz::require(timer.isActive(), "an accepted program never waits without a foreperiod");
        while (!events.empty() && events.byte() % 3 == 0) {
            machine.Stisk_tlacitka(); // too early
        }
        display.onset = ticks.value;
        machine.foreperiodElapsed();
        ticks.value += 250000;
        machine.Stisk_tlacitka();
    }
    fuzz::require(stored, "the row of an accepted program is stored");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::InputReader input(data, size);
    const std::string_view eventBytes = input.bytes(input.byte());
    const std::string_view bytes = input.rest();

    const engine::ProgramFile file = engine::decodeProgramFile(bytes);
    const std::string saved = engine::encodeProgramFile(file.text, file.encoding);
    fuzz::require(saved == engine::normalizeLineEnds(bytes), "saving gives back the file's bytes");
    const engine::ProgramFile again = engine::decodeProgramFile(saved);
    fuzz::require(again.text == file.text && again.encoding == file.encoding, "a saved file reads the same");

    const engine::TestProgram program(file.text);
    checkLines(program, file.text);
    fuzz::InputReader events(reinterpret_cast<const std::uint8_t*>(eventBytes.data()), eventBytes.size());
    runMachine(program, events);
    fuzz::InputReader walkEvents(reinterpret_cast<const std::uint8_t*>(eventBytes.data()), eventBytes.size());
    checkAcceptedProgramRuns(program, walkEvents);
    return 0;
}
