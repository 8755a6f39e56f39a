#include "reliability/child_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

namespace reliability {

namespace {

constexpr int kTraceRefused = 98;
constexpr int kBodyThrew = 99;
// The stop at a system call, as PTRACE_O_TRACESYSGOOD marks it.
constexpr int kSyscallStop = SIGTRAP | 0x80;

int statusCode(int status)
{
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

bool report(int fd, int value)
{
    const char* bytes = reinterpret_cast<const char*>(&value);
    std::size_t done = 0;
    while (done < sizeof value) {
        const ssize_t n = ::write(fd, bytes + done, sizeof value - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

ChildProcess::ChildProcess(std::function<int(int reportFd)> body, Start start)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    m_pid = ::fork();
    if (m_pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (m_pid == 0) {
        ::close(fds[0]);
        if (start == Start::Traced) {
            if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
                ::_exit(kTraceRefused);
            }
            ::raise(SIGSTOP);
        }
        int code = kBodyThrew;
        try {
            code = body(fds[1]);
        } catch (...) { }
        ::_exit(code);
    }
    ::close(fds[1]);
    m_reportFd = fds[0];
    m_running = true;
    if (start == Start::Traced) {
        const int status = reap(0);
        if (m_running && WIFSTOPPED(status)) {
            ::ptrace(PTRACE_SETOPTIONS, m_pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
        }
    }
}

ChildProcess::~ChildProcess()
{
    kill();
    ::close(m_reportFd);
}

int ChildProcess::reap(int options)
{
    int status = 0;
    pid_t got = -1;
    do {
        got = ::waitpid(m_pid, &status, options);
    } while (got < 0 && errno == EINTR);
    if (got == m_pid && (WIFEXITED(status) || WIFSIGNALED(status))) {
        m_running = false;
        m_status = statusCode(status);
    }
    return status;
}

bool ChildProcess::step(int stops)
{
    int signal = 0;
    for (int passed = 0; passed < stops && m_running;) {
        if (::ptrace(PTRACE_SYSCALL, m_pid, nullptr, reinterpret_cast<void*>(static_cast<long>(signal))) != 0) {
            return false;
        }
        const int status = reap(0);
        if (!m_running) {
            return false;
        }
        // Signals other than the system-call stops go on to the child, as they would untraced.
        signal = WIFSTOPPED(status) && WSTOPSIG(status) != kSyscallStop ? WSTOPSIG(status) : 0;
        if (signal == 0) {
            ++passed;
        }
    }
    return m_running;
}

int ChildProcess::stepToEnd()
{
    int stops = 0;
    while (step(1)) {
        ++stops;
    }
    return stops;
}

void ChildProcess::waitForReportOrTimeout(int milliseconds)
{
    pollfd request {m_reportFd, POLLIN, 0};
    while (::poll(&request, 1, milliseconds) < 0 && errno == EINTR) { }
}

void ChildProcess::kill()
{
    if (m_running) {
        ::kill(m_pid, SIGKILL);
        while (m_running) {
            reap(0);
        }
    }
}

int ChildProcess::wait()
{
    while (m_running) {
        reap(0);
    }
    return m_status;
}

std::vector<int> ChildProcess::reports()
{
    std::vector<int> values;
    int value = 0;
    std::size_t have = 0;
    for (;;) {
        const ssize_t n = ::read(m_reportFd, reinterpret_cast<char*>(&value) + have, sizeof value - have);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        have += static_cast<std::size_t>(n);
        if (have == sizeof value) {
            values.push_back(value);
            have = 0;
        }
    }
    return values;
}

bool childrenCanBeTraced()
{
    static const bool allowed = [] {
        ChildProcess probe([](int) { return 0; }, ChildProcess::Start::Traced);
        return probe.stepToEnd() > 0 && probe.wait() == 0;
    }();
    return allowed;
}

} // namespace reliability
