// A second station for the timing record's tests, run as its own process:
//
//   results_station_tool timing-append TABLE FIRST_ROW COUNT
//       appends the timing record of COUNT finished tests (table rows FIRST_ROW, FIRST_ROW + 1, ...)
//       beside TABLE, each as the program appends it after storing a row.
//   results_station_tool journal-append TABLE COUNT
//       records COUNT stores of row 1 of TABLE in the journal beside it, each as the program does.
//
// Exit code 0 when all went well, 1 with the message on stderr when writing failed, 2 for a wrong command
// line.
#include "results/change_journal.h"
#include "results/test_support.h"
#include "results/timing_record.h"

#include <exception>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "journal-append" && argc == 4) {
        try {
            for (int i = 0; i < std::stoi(argv[3]); ++i) {
                results::recordTableChange(argv[2], {audit::Action::RowStored, 1, {}});
            }
        } catch (const std::exception& error) {
            std::cerr << error.what() << "\n";
            return 1;
        }
        return 0;
    }
    if (command != "timing-append" || argc != 5) {
        std::cerr << "usage: results_station_tool timing-append TABLE FIRST_ROW COUNT\n"
                     "       results_station_tool journal-append TABLE COUNT\n";
        return 2;
    }
    try {
        const engine::MeasurementState test = results::testing::finishedTest();
        const int firstRow = std::stoi(argv[3]);
        const int count = std::stoi(argv[4]);
        for (int i = 0; i < count; ++i) {
            results::storeTimingRecord(argv[2], test, static_cast<std::uint32_t>(firstRow + i));
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
