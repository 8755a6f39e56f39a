#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// Copies of the test process that store results while the test crashes them, fills their disk or
// runs several of them at once. POSIX only.
namespace reliability {

// Sends `value` to the parent through the report pipe. Async-signal-safe; returns false when the
// parent is gone.
bool report(int fd, int value);

// A forked copy of this process that runs `body(reportFd)` and ends with its return value as the exit
// status, without running the test process's exit handlers. An exception leaving `body` ends it with
// status 99.
//
// A traced child stops before `body` runs and then goes on only while the parent steps it from one
// system-call stop (the entry to or the return from a call) to the next, so the parent can kill it at
// an exact point of its work. The destructor kills and reaps a child that is still running.
class ChildProcess
{
public:
    enum class Start { Running, Traced };

    explicit ChildProcess(std::function<int(int reportFd)> body, Start start = Start::Running);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }

    // Traced only: lets the child run through `stops` more system-call stops. Returns false when it
    // ended before that.
    bool step(int stops);
    // Traced only: lets the child run to its end; returns the number of system-call stops it passed.
    int stepToEnd();

    // Collects the child's reports for `milliseconds`, while it runs: the moment of a kill at random
    // when the child cannot be traced.
    void watch(int milliseconds);

    // Kills the child with SIGKILL and reaps it.
    void kill();
    // Waits for the child to end. Returns its exit status, or 128 + the signal that ended it.
    int wait();

    // Every value the child reported; call once it has ended.
    std::vector<int> reports();

private:
    int reap(int options);
    // Reads what the pipe holds into m_received; false at its end.
    bool receive();

    pid_t m_pid = -1;
    int m_reportFd = -1;
    bool m_running = false;
    int m_status = -1;
    std::vector<int> m_received;
    std::size_t m_partial = 0; // bytes of the next value already in m_value
    int m_value = 0;
};

// A pipe whose write end the parent closes to signal every child at once.
class Signal
{
public:
    Signal();
    ~Signal();
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    // In a child: forget the write end, so that only the parent can fire.
    void listen();
    // In the parent.
    void fire();
    // True once fired; waits at most `milliseconds` for it (-1: without limit).
    bool fired(int milliseconds) const;

private:
    int m_fds[2] {-1, -1};
};

// True when this process may trace its children (ptrace is allowed here).
bool childrenCanBeTraced();

} // namespace reliability
