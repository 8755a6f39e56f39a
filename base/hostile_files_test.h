#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// What a wrong name or a hostile folder puts where the program expects one of the examiner's files, for
// the tests of every loader that reads such a file.
namespace base::testing {

struct HostileFile
{
    const char* kind; // what it is, for the test's output
    // Puts it into `folder` (which exists) and returns the path to hand the loader.
    std::function<std::string(const std::filesystem::path& folder)> make;
    const char* reason;         // the detail after "Cannot open file <path>: "
    bool unprivileged = false;  // only a user without special rights is refused (see failureOf)
    bool outsideFolder = false; // the path leads to a system device: a test must never write to it
};

// Every kind this platform has. POSIX: a folder, a pipe, a link to a pipe, a device, a link to a device,
// a socket and a file nobody may read. Windows: a folder and reserved device names.
std::vector<HostileFile> hostileFiles();

// The message of the std::exception that `attempt` throws; empty when it throws none. With
// `unprivileged`, a process with the rights to read any file (root) runs `attempt` in a child process as
// user "nobody", so that permissions apply.
std::string failureOf(const std::function<void()>& attempt, bool unprivileged = false);

} // namespace base::testing
