#pragma once

#include <memory>
#include <string>
#include <vector>

// Another process for the tests of file sharing and locking: a second station is a second process,
// because the system ties locks to a process (fcntl) or to a file handle (Windows), never to a thread.
// test_process_posix.cpp and test_process_win.cpp implement it.
namespace storage::testing {

class TestProcess
{
public:
    // Starts `program` with `arguments`. Throws std::runtime_error when it cannot be started.
    TestProcess(const std::string& program, const std::vector<std::string>& arguments);
    // Kills the process if it is still running.
    ~TestProcess();
    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;

    // True once the process has ended; waits at most `milliseconds` for that.
    bool ended(int milliseconds);
    // Waits for the end; returns the exit code (128 + the signal for a process a signal ended).
    int wait();

private:
    struct Running;
    std::unique_ptr<Running> m_running;
};

} // namespace storage::testing
