#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace engine {

// The test program's file, in the start directory.
inline constexpr const char* kProgramFileName = "program.txt";

// The most a program file may hold. A test holds its trials on lines 1 to 121 and ends with at most four
// lines of series counts, so a real program has some 130 short lines, about 1 KB. The limits leave room
// for sixty times that and refuse at once what is no test program (a log or a table under the wrong
// name): the editor lays out every line it is given, and a 50 MB file took over two minutes and 2.7 GB
// before the program could be used. Laying out grows faster than the length of a line: the worst file
// within the limits, one unbroken line of 64 KB, takes some 3 s in a sanitizer build (256 KB: 39 s).
inline constexpr std::size_t kMaxProgramFileSize = 64 * 1024;
inline constexpr std::size_t kMaxProgramLines = 10000;

// How program.txt was written: in the Windows code page 1250 of the stations, or by today's editors in
// UTF-8 (with or without a byte-order mark). A file is saved back in the encoding it was read in, and a
// new one is written in code page 1250, which every station reads.
enum class TextEncoding { Utf8, Utf8WithBom, Cp1250 };

// The text of a program file in UTF-8 with every line end as CR LF, and the encoding it came in.
struct ProgramFile
{
    std::string text;
    TextEncoding encoding = TextEncoding::Cp1250;
};

// Turns every lone LF and every lone CR into CR LF; CR LF pairs stay.
std::string normalizeLineEnds(std::string_view text);

// Decodes the bytes of a program file. A file that starts with the UTF-8 byte-order mark (which is
// dropped and remembered), or that is valid UTF-8 with at least one character beyond ASCII, is UTF-8;
// anything else, plain ASCII and an empty file included, is code page 1250. Line ends are normalised.
ProgramFile decodeProgramFile(std::string_view bytes);

// The bytes that saving `text` in `encoding` writes: line ends (CR LF, LF or CR) become CR LF, no line
// end is added after the last line, and characters code page 1250 cannot hold become "?".
std::string encodeProgramFile(std::string_view text, TextEncoding encoding);

// Reads and decodes the program file at `path`, a regular file (see readUserFile()). Throws IoError
// with the path as given: "Cannot open file <path>" when it is missing, with ": <reason>" added when it
// is something else than a file or cannot be read (readUserFile() lists them), and
// "Cannot open file <path>: it is larger than 64 KB, more than any test program" or
// "Cannot open file <path>: it has <n> lines, more than the 10000 a test program may have" beyond the
// limits above; a file beyond the size limit is refused before it is read.
ProgramFile loadProgramFile(const std::string& path);

// Replaces the file at `path` with `text` encoded as encodeProgramFile() does (see replaceUserFile():
// a temporary file beside it renamed over the old one, so a failed save leaves the old program intact).
// A text that loadProgramFile() would refuse is not saved. Throws IoError "Cannot create file <path>:
// <reason>", the reasons as for loading, or the system's.
void saveProgramFile(const std::string& path, std::string_view text, TextEncoding encoding);

} // namespace engine
