#include "sync/platform.h"

#include <csignal>

namespace collection::platform {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void requestStop(int)
{
    g_stop = 1;
}

} // namespace

const char* const kStopRequests = "SIGTERM, Ctrl+C";

std::string defaultConfigPath()
{
    return "/etc/tivora/sync.conf";
}

void watchStopRequests()
{
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
}

bool stopRequested()
{
    return g_stop != 0;
}

void runEnded() { }

void useUtf8Console() { }

} // namespace collection::platform
