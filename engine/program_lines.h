#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace engine {

// The lines the trial machine reads, addressed by zero-based index. The trial machine asks for a line
// at the moment it needs it, so an implementation may change between calls (the program editor's
// display lines are one).
class ProgramLines
{
public:
    virtual ~ProgramLines() = default;

    // Number of lines. A final empty line (a text that ends with a line end) does not count.
    virtual int lineCount() const = 0;

    // The text of line `index` without its line end, in UTF-8; an empty text for an index below 0 or
    // at or past the end.
    virtual std::string line(int index) const = 0;
};

// The kind of a program line, decided by its first two characters and its length only.
enum class LineKind {
    Foreperiod,  // shorter than 2 characters
    StartMarker, // 2 or more characters beginning with "77"
    EndMarker,   // 2 or more characters beginning with "88"
    Other,       // any other line of 2 or more characters: neither a foreperiod nor a marker
};

LineKind lineKind(std::string_view line);

// The instruction file a marker line names: its characters from the fourth on (the third is a
// separator). A marker of 2 or 3 characters names an empty file.
std::string markerFileName(std::string_view line);

// A test program held as a list of lines, split from a text at CR LF, lone LF or lone CR.
class TestProgram : public ProgramLines
{
public:
    TestProgram() = default;
    explicit TestProgram(std::string_view text);

    int lineCount() const override;
    std::string line(int index) const override;

private:
    std::vector<std::string> m_lines;
};

} // namespace engine
