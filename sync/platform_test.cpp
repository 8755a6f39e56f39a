// The collector's stop request as the system delivers it: a signal, or on Windows a console control event
// (which the system hands to the handler on a thread of its own).
#include "sync/platform.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

namespace collection::platform {
namespace {

// Sends this process the stop request a user gives from the console: Ctrl+C. False when the system cannot
// send it here.
bool pressCtrlC()
{
#ifdef _WIN32
    // A test runner starts the program without a console; the event needs one. Wine has none to give
    // (windows_sync sends the event to tivora-sync.exe as Wine does: SIGINT).
    if (!GetConsoleWindow()) {
        AllocConsole();
    }
    return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
#else
    return std::raise(SIGINT) == 0;
#endif
}

bool stopSeenWithin(std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!stopRequested() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return stopRequested();
}

TEST(PlatformTest, CtrlCSetsTheStopFlagAndLeavesTheProcessRunning)
{
    watchStopRequests();
    EXPECT_FALSE(stopRequested());
    if (!pressCtrlC()) {
        GTEST_SKIP() << "no console to send Ctrl+C to";
    }
    EXPECT_TRUE(stopSeenWithin(std::chrono::seconds(5)));
}

#ifdef _WIN32
// Windows ends the process as soon as the handler of a console's close returns: it holds the process
// until the collector has ended its pass and said so, but not beyond the system's patience.
TEST(PlatformTest, TheConsolesCloseWaitsForTheRunToEnd)
{
    watchStopRequests();
    std::atomic<bool> returned {false};
    std::atomic<int> handled {0};
    std::thread system([&] {
        handled = handleConsoleEvent(CTRL_CLOSE_EVENT);
        returned = true;
    });
    EXPECT_TRUE(stopSeenWithin(std::chrono::seconds(5)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(returned) << "returned before the run ended";
    runEnded();
    system.join();
    EXPECT_NE(handled, 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_NE(handleConsoleEvent(CTRL_SHUTDOWN_EVENT), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1)) << "waits again once ended";
    EXPECT_EQ(handleConsoleEvent(0xFFFF), 0) << "an event it does not know is left to the next handler";
}
#endif

TEST(PlatformTest, TheDefaultConfigurationIsTheMachines)
{
    const std::string path = defaultConfigPath();
#ifdef _WIN32
    // %ProgramData%, which Wine and Windows both put at C:\ProgramData.
    EXPECT_EQ(path, "C:\\ProgramData\\Tivora\\sync.conf");
#else
    EXPECT_EQ(path, "/etc/tivora/sync.conf");
#endif
}

} // namespace
} // namespace collection::platform
