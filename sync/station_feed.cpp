// A station that stores finished tests into a shared folder, for the collector's tests and benchmarks:
//
//   station_feed FOLDER STATION FIRST COUNT [PAUSE_MS]
//       stores tests FIRST, FIRST + 1, ... (COUNT of them) of station STATION into the results table in
//       FOLDER, each with its timing record, as the program stores a finished test; waits PAUSE_MS
//       between two tests. Prints one line per stored test with its sequence number.
//
// Exit code 0 when all were stored, 1 with the message on stderr when a store failed, 2 for a wrong
// command line.
#include "report/output_platform.h"
#include "sync/test_tables.h"

#include <chrono>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    // UTF-8 on every system: a folder's name may have letters the Windows code page lacks.
    const std::vector<std::string> args = report::platform::commandLineArguments(argc, argv);
    if (args.size() != 4 && args.size() != 5) {
        std::cerr << "usage: station_feed FOLDER STATION FIRST COUNT [PAUSE_MS]\n";
        return 2;
    }
    try {
        const int station = std::stoi(args[1]);
        const int first = std::stoi(args[2]);
        const int count = std::stoi(args[3]);
        const int pause = args.size() == 5 ? std::stoi(args[4]) : 0;
        for (int sequence = first; sequence < first + count; ++sequence) {
            collection::testing::storeTest(args[0], station, sequence);
            std::cout << sequence << std::endl;
            if (pause > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pause));
            }
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
