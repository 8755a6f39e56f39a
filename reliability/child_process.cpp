#include "reliability/child_process.h"

#include <cerrno>
#include <chrono>
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

Signal::Signal()
{
    if (::pipe(m_fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
}

Signal::~Signal()
{
    ::close(m_fds[0]);
    fire();
}

void Signal::listen()
{
    ::close(m_fds[1]);
    m_fds[1] = -1;
}

void Signal::fire()
{
    if (m_fds[1] >= 0) {
        ::close(m_fds[1]);
        m_fds[1] = -1;
    }
}

bool Signal::fired(int milliseconds) const
{
    pollfd request {m_fds[0], POLLIN, 0};
    return ::poll(&request, 1, milliseconds) > 0;
}

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

void ChildProcess::watch(int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (auto now = std::chrono::steady_clock::now(); now < deadline; now = std::chrono::steady_clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        pollfd request {m_reportFd, POLLIN, 0};
        if (::poll(&request, 1, static_cast<int>(left) + 1) > 0 && !receive()) {
            return;
        }
    }
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

bool ChildProcess::receive()
{
    ssize_t n = -1;
    do {
        n = ::read(m_reportFd, reinterpret_cast<char*>(&m_value) + m_partial, sizeof m_value - m_partial);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        return false;
    }
    m_partial += static_cast<std::size_t>(n);
    if (m_partial == sizeof m_value) {
        m_received.push_back(m_value);
        m_partial = 0;
    }
    return true;
}

std::vector<int> ChildProcess::reports()
{
    while (receive()) { }
    return std::move(m_received);
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
