#pragma once

#include <string>

// Who changes a table where: the computer's name and the operating-system user, as the system reports them,
// for the audit journal. station_identity_posix.cpp and station_identity_win.cpp implement it.
namespace results {

// The computer's host name, UTF-8; "?" when the system does not tell it.
std::string stationName();

// The operating-system user running the program (the login name), UTF-8; "?" when the system does not
// tell it.
std::string operatingSystemUser();

} // namespace results
