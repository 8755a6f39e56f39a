#include "base/file.h"
#include "sync/platform.h"

#include <atomic>
#include <cstdlib>
#include <shlobj.h>
#include <windows.h>

namespace collection::platform {

namespace {

std::atomic<bool> g_stop {false};
// Set by runEnded(); a handler for the console's close, the logoff or the shutdown waits on it.
HANDLE g_ended = nullptr;
// Windows gives a handler of the console's close 5 seconds before it ends the process; a little less,
// so that the process still returns on its own.
constexpr DWORD kEndWaitMs = 4500;

BOOL WINAPI requestStop(DWORD event)
{
    return handleConsoleEvent(event);
}

std::string knownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK && path) {
        folder = base::utf8Path(path);
    }
    CoTaskMemFree(path);
    return folder;
}

} // namespace

const char* const kStopRequests = "Ctrl+C, Ctrl+Break, the console closed, logoff, shutdown";

std::string defaultConfigPath()
{
    std::string folder = knownFolder(FOLDERID_ProgramData);
    if (folder.empty()) {
        const wchar_t* variable = _wgetenv(L"ProgramData");
        folder = variable && *variable ? base::utf8Path(variable) : "C:\\ProgramData";
    }
    return folder + "\\Tivora\\sync.conf";
}

int handleConsoleEvent(unsigned long event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        g_stop = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends when this returns: the pass in progress gets its time to commit or roll back.
        g_stop = true;
        if (g_ended) {
            WaitForSingleObject(g_ended, kEndWaitMs);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

void watchStopRequests()
{
    if (!g_ended) {
        g_ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(requestStop, TRUE);
    }
}

bool stopRequested()
{
    return g_stop;
}

void runEnded()
{
    if (g_ended) {
        SetEvent(g_ended);
    }
}

void useUtf8Console()
{
    // The console belongs to the window the program was started from: its code page is given back at the end.
    static const UINT previous = GetConsoleOutputCP();
    if (previous != 0 && previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        std::atexit([] { SetConsoleOutputCP(previous); });
    }
}

} // namespace collection::platform
