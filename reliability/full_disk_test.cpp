// A store into a table on a full disk fails with the system's reason, is never reported as a success,
// and leaves every row stored before readable; once there is room again, storing goes on.
//
// Two ways to fill the disk: a file size limit (RLIMIT_FSIZE) that stops the file at an exact byte,
// and, where the system lets the test mount one, a small file system of its own.
#include "reliability/child_process.h"
#include "reliability/stored_rows.h"
#include "results/results_table.h"
#include "storage/errors.h"
#include "storage/test_support.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace reliability {
namespace {

using storage::testing::writeAll;

// What a child reports about one store.
enum Outcome : int {
    kStored = 1,
    kFailedWithReason = 2, // FileError "Cannot write file <path>: <the system's reason>"
    kFailedOtherwise = 3,
    kStoredHeaderBehind = 4, // stored; the header store at the close failed and came as a notice
    kNotPermitted = 77,      // exit status: the child could not get a file system of its own
};

// Stores result `sequence` of station 0 and reports how it went; the message must name the file and
// the system's `reason`.
Outcome storeAndReport(storage::Dataset& table, int sequence, const std::string& reason, int fd)
{
    Outcome outcome = kStored;
    std::string notice;
    table.setNoticeHandler([&](const std::string& text) { notice = text; });
    try {
        results::ulo_do_DBF(table, resultFor(0, sequence));
        if (notice == "Cannot write file " + table.path() + ": " + reason) {
            outcome = kStoredHeaderBehind;
        } else if (!notice.empty()) {
            std::cerr << "unexpected notice: " << notice << std::endl;
            outcome = kFailedOtherwise;
        }
    } catch (const storage::TableError& error) {
        const bool expected = error.what() == "Cannot write file " + table.path() + ": " + reason;
        if (!expected) {
            std::cerr << "store failed with: " << error.what() << std::endl;
        }
        outcome = expected ? kFailedWithReason : kFailedOtherwise;
    }
    report(fd, outcome);
    return outcome;
}

// Rows 1..n of station 0 and what may follow them after a failed store: row n + 1 is there only if it
// is whole and right. Returns the rows the table holds.
int expectRows(const std::string& path, int stored)
{
    const ReadTable table = readTable(path);
    const auto rows = static_cast<int>(table.rows.size());
    EXPECT_GE(rows, stored) << "a row reported as stored is missing";
    EXPECT_LE(rows, stored + 1);
    for (int n = 1; n <= rows; ++n) {
        EXPECT_EQ(table.rows[static_cast<std::size_t>(n - 1)].values, valuesFor(0, n)) << "row " << n;
    }
    return rows;
}

class FileSizeLimitTest : public ::testing::TestWithParam<std::size_t>
{
protected:
    std::string path() const { return m_dir.path(results::kResultsTableName); }

    storage::testing::TempDir m_dir;
};

// The file may grow by `margin` bytes: a new record needs R, the end marker behind it one more.
TEST_P(FileSizeLimitTest, StoreFailsWithTheReasonAndKeepsTheRows)
{
    const std::size_t margin = GetParam();
    {
        storage::Dataset table;
        configureStation(table, m_dir.dir());
        for (int n = 1; n <= 3; ++n) {
            results::ulo_do_DBF(table, resultFor(0, n));
        }
    }
    const std::string before = wholeFile(path());
    ChildProcess child([&](int fd) {
        ::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing the process
        const rlim_t limit = before.size() + margin;
        const rlimit fileSize {limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0) {
            return 1;
        }
        storage::Dataset table;
        configureStation(table, m_dir.dir());
        storeAndReport(table, 4, "File too large", fd);
        // The program closes the table when it ends, which stores the header.
        try {
            table.close();
        } catch (const storage::TableError&) { }
        return 0;
    });
    ASSERT_EQ(child.wait(), 0);
    const auto outcome = child.reports();
    ASSERT_EQ(outcome.size(), 1U);

    if (margin >= kRecordLength) {
        EXPECT_EQ(outcome[0], kStored);
        EXPECT_EQ(expectRows(path(), 4), 4);
        return;
    }
    if (margin + 1 < kRecordLength) {
        EXPECT_EQ(outcome[0], kFailedWithReason);
        EXPECT_EQ(wholeFile(path()), before) << "a record that did not fit left a trace";
    } else {
        // The record fitted and is on the disk; only the end marker behind it did not. The result is
        // stored (a retry would store it twice) and the failed write is shown as a notice.
        EXPECT_EQ(outcome[0], kStoredHeaderBehind);
        EXPECT_EQ(expectRows(path(), 4), 4);
    }
}

INSTANTIATE_TEST_SUITE_P(Margins, FileSizeLimitTest,
                         ::testing::Values(std::size_t {0}, std::size_t {1}, std::size_t {1000}, kRecordLength - 2,
                                           kRecordLength - 1, kRecordLength, kRecordLength + 1));

// A full disk before the first result: the message names the table, not the temporary file it is
// written under, and nothing is left behind.
TEST(FullDiskTest, TableThatCannotBeCreatedIsNamedWithTheReason)
{
    storage::testing::TempDir dir;
    ChildProcess child([&](int fd) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize {100, 100}; // less than the empty table's 834 bytes
        if (::setrlimit(RLIMIT_FSIZE, &fileSize) != 0) {
            return 1;
        }
        storage::Dataset table;
        configureStation(table, dir.dir());
        try {
            results::ulo_do_DBF(table, resultFor(0, 1));
        } catch (const storage::TableError& error) {
            const bool named = error.what() == "Cannot create file " + table.path() + ": File too large";
            if (!named) {
                std::cerr << "store failed with: " << error.what() << std::endl;
            }
            report(fd, named ? kFailedWithReason : kFailedOtherwise);
            return 0;
        }
        report(fd, kStored);
        return 0;
    });
    ASSERT_EQ(child.wait(), 0);
    EXPECT_EQ(child.reports(), std::vector<int> {kFailedWithReason});
    EXPECT_TRUE(std::filesystem::is_empty(dir.dir()));
}

// Gives this process a mount namespace of its own (through a user namespace when it is not privileged)
// with a tmpfs of `kib` KiB over `directory`. False when the system allows neither.
bool mountSmallFileSystem(const std::string& directory, int kib)
{
    if (::unshare(CLONE_NEWNS) != 0) {
        const std::string uid = std::to_string(::getuid());
        const std::string gid = std::to_string(::getgid());
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            return false;
        }
        writeAll("/proc/self/setgroups", "deny");
        writeAll("/proc/self/uid_map", uid + " " + uid + " 1");
        writeAll("/proc/self/gid_map", gid + " " + gid + " 1");
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return false;
    }
    const std::string options = "size=" + std::to_string(kib) + "k";
    return ::mount("tmpfs", directory.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

class SmallFileSystemTest : public ::testing::TestWithParam<int>
{
protected:
    storage::testing::TempDir m_dir;
};

// Stores until the file system is full, then frees some room and stores again. The child copies the
// table out of its file system after each phase, since the parent cannot see into it.
TEST_P(SmallFileSystemTest, FullDiskFailsTheStoreAndStoringGoesOnWhenThereIsRoom)
{
    const std::string disk = m_dir.path("disk") + "/";
    std::filesystem::create_directory(disk);
    ChildProcess child([&](int fd) {
        if (!mountSmallFileSystem(disk, GetParam())) {
            return static_cast<int>(kNotPermitted);
        }
        const std::string path = disk + results::kResultsTableName;
        writeAll(disk + "ballast", std::string(16 * 1024, 'b'));
        storage::Dataset table;
        configureStation(table, disk);
        for (int sequence = 1; sequence < 1000; ++sequence) {
            if (storeAndReport(table, sequence, "No space left on device", fd) != kStored) {
                break;
            }
        }
        try {
            table.close(); // as when the program ends
        } catch (const storage::TableError&) { }
        std::filesystem::copy_file(path, m_dir.path("full.dbf"));
        std::filesystem::remove(disk + "ballast");
        storeAndReport(table, static_cast<int>(readTable(path).rows.size()) + 1, "", fd);
        std::filesystem::copy_file(path, m_dir.path("after.dbf"));
        return 0;
    });
    const int status = child.wait();
    if (status == kNotPermitted) {
        GTEST_SKIP() << "this system lets the test mount no file system of its own";
    }
    ASSERT_EQ(status, 0);
    const auto outcomes = child.reports();
    const auto stored = static_cast<int>(
        std::find_if(outcomes.begin(), outcomes.end(), [](int outcome) { return outcome != kStored; })
        - outcomes.begin());
    ASSERT_EQ(outcomes.size(), static_cast<std::size_t>(stored) + 2);
    EXPECT_GT(stored, 0);
    // The store that met the full disk failed, or stored its row with only the header behind.
    const int last = outcomes[static_cast<std::size_t>(stored)];
    EXPECT_TRUE(last == kFailedWithReason || last == kStoredHeaderBehind) << "outcome " << last;
    EXPECT_EQ(outcomes.back(), kStored) << "storing goes on once there is room";

    const int rows = expectRows(m_dir.path("full.dbf"), stored + (last == kStoredHeaderBehind ? 1 : 0));
    EXPECT_EQ(expectRows(m_dir.path("after.dbf"), rows + 1), rows + 1);
    EXPECT_TRUE(readTable(m_dir.path("after.dbf")).notices.empty());
    int readerStatus = 0;
    const auto lines = readWithDbfread(m_dir.path("after.dbf"), readerStatus);
    EXPECT_EQ(readerStatus, 0);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(rows + 2));
    std::cout << "[ figures  ] " << GetParam() << " KiB file system: " << stored << " results stored, then \"No space "
              << "left on device\"" << (rows > stored ? " after the row was on the disk" : "") << std::endl;
}

INSTANTIATE_TEST_SUITE_P(Sizes, SmallFileSystemTest, ::testing::Values(64, 100, 160));

} // namespace
} // namespace reliability
