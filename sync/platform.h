#pragma once

#include "central/pg.h"

#include <string>

// What the collector asks of the operating system beyond files: where its configuration lives, how it is
// told to stop, and its console. platform_posix.cpp and platform_win.cpp implement it.
namespace collection::platform {

// How the system asks the program to stop, for its usage: "SIGTERM, Ctrl+C".
extern const char* const kStopRequests;
// libpq's password file of the user, as its usage names it.
using central::kPasswordFile;

// The configuration read when --config is not given: /etc/tivora/sync.conf, on Windows
// %ProgramData%\Tivora\sync.conf (the machine's program data, writable by administrators only).
std::string defaultConfigPath();

// From now on the system's requests to end the program set the stop flag and no longer end it: SIGTERM
// and SIGINT; on Windows Ctrl+C, Ctrl+Break, the console window closed, the user logging off and the
// system shutting down. For the last three Windows ends the process as soon as the handler returns, so
// the handler waits (a few seconds at most) until runEnded() is called: the pass in progress ends at a
// transaction boundary. Call before the run; a second call changes nothing.
void watchStopRequests();

// True once a stop was requested. Safe to ask from any thread.
bool stopRequested();

// Tells a handler waiting for the end (above) that the collector has stopped and said so.
void runEnded();

#ifdef _WIN32
// The console control handler watchStopRequests() installs, as Windows calls it on a thread of its own:
// returns nonzero when it handled `event` (CTRL_C_EVENT...). For the tests: Wine closes no console and
// shuts nothing down.
int handleConsoleEvent(unsigned long event);
#endif

// Makes the console show the program's UTF-8 output as such (Windows; elsewhere nothing to do).
void useUtf8Console();

} // namespace collection::platform
