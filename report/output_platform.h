#pragma once

#include <cstdio>
#include <string>

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

// Removes `path` if it exists.
void removeFile(const std::string& path) noexcept;

} // namespace report::platform
