#pragma once

#include "engine/program_lines.h"

#include <functional>
#include <optional>
#include <string>

namespace engine {

// A fault of a test program, found before the test starts.
struct ProgramFault
{
    int line = 0;        // the line it is on, counted from 1 as the examiner counts the editor's lines
    std::string message; // the text for the examiner (Czech), naming the line and what is wrong
};

// Loads instruction file `fileName` (relative to the current directory) as the test will show it.
// Throws std::exception with the loader's message when the file cannot be loaded.
using InstructionLoader = std::function<void(const std::string& fileName)>;

// Checks a whole test program before a test starts, so that a test that would fail, get stuck or store
// a plainly wrong result is refused before the person sits through it. The program is walked by the
// real trial machine, as a person who answers every trial would walk it, with a clock and a timer that
// do nothing, then evaluated by the real evaluation; every instruction file on the way is loaded with
// `load`. Nothing is timed, shown or stored, and `program` is only read.
//
// A program is refused, at the first of these faults on the way:
// - a line read as a foreperiod that is not a whole number of 0 to 2,147,483 seconds (an empty line
//   included), or a trial past the last line a test can hold;
// - a line within a block that is neither a foreperiod nor a marker (the machine would wait there with
//   no stimulus, and time the next response against the previous one);
// - a start marker anywhere but on line 4 or 5, an end marker before line 7 or without a start marker
//   before it, or no end marker at all;
// - an instruction file named by a marker that cannot be loaded;
// - a series-count line (of the first four) that is not an integer, no count line, or more than four;
// - a series that would reach past the last measured trial or start before the first, and so average
//   lines that hold no measured trial.
//
// Returns the first fault, or nothing for a program that runs to its end and is evaluated.
std::optional<ProgramFault> checkProgram(const ProgramLines& program, const InstructionLoader& load);

} // namespace engine
