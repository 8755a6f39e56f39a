#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The files an examiner puts beside the program (the test program, the instruction screens) are read
// whole and written back, and a wrong name or a hostile folder may put anything there: a folder, a pipe
// nobody writes to (opening it would wait for ever), a device that never ends (/dev/zero), a file of
// gigabytes. These two functions are the only way the station program reads or replaces such a file;
// they refuse everything but a regular file before it is opened or read. The platform's part lives in
// user_file_posix.cpp and user_file_win.cpp.
namespace base {

// Reads the regular file at `path` (UTF-8, relative to the current directory) whole. Returns nothing,
// without reading it, when it holds more than `maxBytes` bytes. Nothing it is handed makes it wait:
// what is not a regular file is refused before it is opened, and checked again once open.
// Throws FileError with the path as given:
// - "Cannot open file <path>" when there is no such file (the platform's standard text, as it stands);
// - "Cannot open file <path>: it is a folder, not a file", "...: it is a pipe, not a file",
//   "...: it is a device, not a file" (on Windows also a reserved name such as NUL, CON or com1.txt), or
//   "...: it is not an ordinary file" (a socket);
// - "Cannot open file <path>: <the system's reason>" when it cannot be opened otherwise ("Permission
//   denied");
// - "Cannot read file <path>: <the system's reason>" when reading fails.
std::optional<std::string> readUserFile(const std::string& path, std::uint64_t maxBytes);

// Replaces the file at `path` (UTF-8, relative to the current directory) by `bytes`, or creates it. The
// bytes are written to a temporary file beside it (its name with ".new" added), flushed to the disk and
// then renamed over it, so that a failure or a crash leaves either the old file or the new one, whole.
// On POSIX systems the new file keeps the old one's permission bits, and a symbolic link to a regular
// file keeps being a link: its target is replaced. Throws FileError "Cannot create file <path>: <reason>", with the
// reasons of readUserFile() for a folder, a pipe, a device or another special file (which are left alone) or the
// system's reason; the old file is then unchanged and no temporary file is left.
void replaceUserFile(const std::string& path, std::string_view bytes);

} // namespace base
