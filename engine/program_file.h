#pragma once

#include <string>
#include <string_view>

namespace engine {

// The test program's file, in the start directory.
inline constexpr const char* kProgramFileName = "program.txt";

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

// Reads and decodes the program file at `path`. Throws IoError "Cannot open file <path>" (the path as
// given) when it cannot be read.
ProgramFile loadProgramFile(const std::string& path);

// Replaces the file at `path` with `text` encoded as encodeProgramFile() does. The new text is written
// to a temporary file beside it and then renamed over the old one, so a failed save leaves the old
// program intact. Throws IoError "Cannot create file <path>" when that fails.
void saveProgramFile(const std::string& path, std::string_view text, TextEncoding encoding);

} // namespace engine
