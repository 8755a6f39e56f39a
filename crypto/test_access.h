#pragma once

#include <string>

// What the key file tests ask of the system about a file's permissions, on each platform.
namespace crypto::testing {

// Empty when only the file's owner, the current user, may read or write `path`; otherwise what else the
// system allows ("mode 0644", "2 entries in the access list").
std::string accessBeyondOwner(const std::string& path);

// Opens `path` to others: POSIX mode 0600 | `extraModeBits`. False where the platform has no such modes.
bool setModeBits(const std::string& path, unsigned extraModeBits);

// Sets the process's file creation mask and returns the one it replaces; 0 and nothing done where the
// platform has none.
unsigned setCreationMask(unsigned mask);

// Makes a named pipe at `path`; false where the platform has none.
bool makeNamedPipe(const std::string& path);

} // namespace crypto::testing
