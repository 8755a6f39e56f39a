#include "storage/test_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace storage::testing {

struct TestProcess::Running
{
    pid_t pid = -1;
    bool ended = false;
    int code = -1;

    // Collects the exit status without waiting; true once the process has ended.
    bool reap(int options)
    {
        if (ended) {
            return true;
        }
        int status = 0;
        pid_t result = 0;
        while ((result = ::waitpid(pid, &status, options)) < 0 && errno == EINTR) { }
        if (result != pid) {
            return false;
        }
        ended = true;
        code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }
};

TestProcess::TestProcess(const std::string& program, const std::vector<std::string>& arguments)
    : m_running(std::make_unique<Running>())
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    if (::posix_spawn(&m_running->pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start " + program);
    }
}

TestProcess::~TestProcess()
{
    if (!m_running->reap(WNOHANG)) {
        ::kill(m_running->pid, SIGKILL);
        m_running->reap(0);
    }
}

bool TestProcess::ended(int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!m_running->reap(WNOHANG)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

int TestProcess::wait()
{
    m_running->reap(0);
    return m_running->code;
}

} // namespace storage::testing
