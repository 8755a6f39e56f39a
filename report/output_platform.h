#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The few file operations of the exports that differ between systems: output_platform_posix.cpp and
// output_platform_win.cpp implement them. Paths are UTF-8.
namespace report::platform {

// The characters that end a folder in a path.
extern const char* const kPathSeparators;

// What writing an output replaces.
struct OutputTarget
{
    std::string path;    // the output path, or the regular file its symbolic link points to
    bool exists = false; // a file is there now
};

// Where an output named `path` is written; nullopt with the reason in `reason` when nothing may be
// written there: a folder, a device, a pipe, a socket, a symbolic link to one of them or to nothing, and
// on Windows a device name (NUL, CON, COM1, "nul.csv"...). Never opens what `path` names, so a device or
// a pipe is not woken by the look.
std::optional<OutputTarget> outputTarget(const std::string& path, std::string& reason);

// Creates a new temporary file in `folder` (ending with a separator; empty for the current folder),
// opened for binary writing, and returns it with its path in `path`. Its name is short whatever the
// output's name. While it is open, removeStaleTemporaries() of any process leaves it alone. With
// `replacing` (an existing file), the new file gets that file's permissions (and owner, where the system
// lets it). nullptr with the system's reason in `reason` when it cannot be created.
std::FILE* createTemporary(const std::string& folder, const std::string& replacing, std::string& path,
                           std::string& reason);

// Flushes `stream`, waits until its data is on the disk, renames its file `path` to `target` (replacing
// a file there) and closes it. False with the reason in `reason` when any step failed; the temporary
// file is then closed and removed, and `target` is as it was.
bool commitTemporary(std::FILE* stream, const std::string& path, const std::string& target, std::string& reason);

// Closes `stream` and removes its temporary file `path`.
void dropTemporary(std::FILE* stream, const std::string& path) noexcept;

// Removes the temporary files in `folder` that exports left when they were killed; those of exports that
// are still running stay.
void removeStaleTemporaries(const std::string& folder) noexcept;

// The program's arguments after its name, in UTF-8 (Windows hands `argv` over in the system's code page,
// which cannot hold every letter of a path).
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Makes `stream` write bytes as given (Windows' text mode would turn every line end into CR CR LF).
void setBinaryMode(std::FILE* stream);

} // namespace report::platform
