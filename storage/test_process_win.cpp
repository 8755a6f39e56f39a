#include "base/file.h"
#include "storage/test_process.h"

#include <stdexcept>
#include <windows.h>

namespace storage::testing {

namespace {

// One command line, each part quoted; the tests pass no quotes or trailing backslashes.
std::wstring commandLine(const std::string& program, const std::vector<std::string>& arguments)
{
    std::wstring line = L"\"" + base::widePath(program) + L"\"";
    for (const std::string& argument : arguments) {
        line += L" \"" + base::widePath(argument) + L"\"";
    }
    return line;
}

} // namespace

struct TestProcess::Running
{
    PROCESS_INFORMATION info {};
};

TestProcess::TestProcess(const std::string& program, const std::vector<std::string>& arguments)
    : m_running(std::make_unique<Running>())
{
    std::wstring line = commandLine(program, arguments);
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &m_running->info)) {
        throw std::runtime_error("cannot start " + program + ": system error " + std::to_string(GetLastError()));
    }
    CloseHandle(m_running->info.hThread);
}

TestProcess::~TestProcess()
{
    if (!ended(0)) {
        TerminateProcess(m_running->info.hProcess, 137);
        WaitForSingleObject(m_running->info.hProcess, INFINITE);
    }
    CloseHandle(m_running->info.hProcess);
}

bool TestProcess::ended(int milliseconds)
{
    return WaitForSingleObject(m_running->info.hProcess, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
}

int TestProcess::wait()
{
    WaitForSingleObject(m_running->info.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(m_running->info.hProcess, &code);
    return static_cast<int>(code);
}

} // namespace storage::testing
