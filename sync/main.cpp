// tivora-sync: collects the stations' results into the central database.
#include "sync/command_line.h"

#include <iostream>

int main(int argc, char** argv)
{
    return collection::runCommandLine(argc, argv, std::cout, std::cerr);
}
