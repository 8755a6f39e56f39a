// tivora-sync: collects the stations' results into the central database.
#include "sync/command_line.h"
#include "sync/platform.h"

#include <iostream>

int main(int argc, char** argv)
{
    collection::platform::useUtf8Console();
    return collection::runCommandLine(argc, argv, std::cout, std::cerr);
}
