// A second station for the file-sharing tests, run as its own process:
//
//   station_tool hold-lock TABLE READY RELEASE
//       takes the table file's append lock, creates the file READY, waits until a file RELEASE exists
//       (60 s at most), then lets the lock go.
//   station_tool append TABLE NAME COUNT STARTED
//       creates the file STARTED, then stores COUNT rows (PRIJM = NAME, POCET = 1..COUNT) into the existing
//       TABLE, each through its own open, append and close, as the program stores results.
//
// Exit code 0 when all went well, 1 with the message on stderr when the table engine failed, 2 for a wrong
// command line, 3 when RELEASE did not appear in time.
#include "base/file.h"
#include "storage/dbf_table.h"
#include "storage/test_support.h"

#include <exception>
#include <iostream>
#include <string>

namespace {

constexpr int kReleaseWaitMs = 60000;

int holdLock(const std::string& table, const std::string& ready, const std::string& release)
{
    auto file = base::openFile(table, base::OpenMode::ReadWrite);
    if (!file) {
        std::cerr << "no table " << table << "\n";
        return 1;
    }
    base::FileLock lock(*file);
    storage::testing::writeAll(ready, "locked");
    return storage::testing::waitForFile(release, kReleaseWaitMs) ? 0 : 3;
}

int append(const std::string& table, const std::string& name, int count, const std::string& started)
{
    storage::testing::writeAll(started, "started");
    for (int i = 1; i <= count; ++i) {
        auto file = storage::OpenTableFile(table, storage::OpenMode::ReadWrite, storage::IfMissing::Fail);
        storage::RowBuffer row = file->newRow();
        storage::EncodeField(row, file->fields()[0], name);
        storage::EncodeField(row, file->fields()[1], std::int64_t {i});
        file->appendRow(row);
        storage::CloseTableFile(file);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "hold-lock" && argc == 5) {
            return holdLock(argv[2], argv[3], argv[4]);
        }
        if (command == "append" && argc == 6) {
            return append(argv[2], argv[3], std::stoi(argv[4]), argv[5]);
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << "\n";
        return 1;
    }
    std::cerr << "usage: station_tool hold-lock TABLE READY RELEASE | append TABLE NAME COUNT STARTED\n";
    return 2;
}
