#pragma once

#include <cstdio>
#include <string>
#include <vector>

// The few file operations of the exports that differ between systems: output_platform_posix.cpp and
// output_platform_win.cpp implement them. Paths are UTF-8.
namespace report::platform {

// The characters that end a folder in a path.
extern const char* const kPathSeparators;

// A new file opened for binary writing; nullptr when `path` exists or cannot be created, with the system's
// reason in `reason`.
std::FILE* createNewFile(const std::string& path, std::string& reason);

// Moves `from` to `to`, replacing a file `to` that exists; false with the system's reason in `reason`.
bool replaceFile(const std::string& from, const std::string& to, std::string& reason);

// The program's arguments after its name, in UTF-8 (Windows hands `argv` over in the system's code page,
// which cannot hold every letter of a path).
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Makes `stream` write bytes as given (Windows' text mode would turn every line end into CR CR LF).
void setBinaryMode(std::FILE* stream);

} // namespace report::platform
