// Several stations share one table: while one station appends, every other station must go on reading
// (and editing rows), and two appends must never run at once. Each station here is its own process, as
// locks belong to a process or a file handle; station_tool plays the other station.
#include "base/file.h"
#include "storage/dbf_table.h"
#include "storage/test_process.h"
#include "storage/test_support.h"

#include <gtest/gtest.h>
#include <memory>
#include <set>
#ifdef _WIN32
#include <windows.h>
#endif

namespace storage {
namespace {

using testing::fixedDateOptions;
using testing::readAll;
using testing::smallSchema;
using testing::TestProcess;

constexpr int kWaitMs = 60000;

class FileSharingTest : public ::testing::Test
{
protected:
    std::string path() const { return m_dir.path("table.dbf"); }
    std::string marker(const std::string& name) const { return m_dir.path(name); }

    std::unique_ptr<TestProcess> station(const std::vector<std::string>& arguments)
    {
        return std::make_unique<TestProcess>(STATION_TOOL, arguments);
    }

    // Another process takes the append lock and holds it until release().
    void holdLock()
    {
        m_holder = station({"hold-lock", path(), marker("locked"), marker("release")});
        ASSERT_TRUE(testing::waitForFile(marker("locked"), kWaitMs)) << "the other station never locked";
    }
    void release()
    {
        testing::writeAll(marker("release"), "");
        EXPECT_EQ(m_holder->wait(), 0);
    }

    std::unique_ptr<TestProcess> startAppending(const std::string& name, int count)
    {
        return station({"append", path(), name, std::to_string(count), marker(name + ".started")});
    }

    std::shared_ptr<TableFile> open(bool readOnly)
    {
        return OpenTableFile(path(), readOnly ? OpenMode::ReadOnly : OpenMode::ReadWrite, IfMissing::Fail, {},
                             fixedDateOptions());
    }

    std::vector<std::pair<std::string, std::int64_t>> rows(TableFile& table)
    {
        std::vector<std::pair<std::string, std::int64_t>> out;
        RowBuffer row;
        for (std::uint32_t n = table.seekVisible(1, 1, row); n != 0; n = table.seekVisible(n + 1, 1, row)) {
            out.emplace_back(std::get<std::string>(DecodeField(row, table.fields()[0])),
                             std::get<std::int64_t>(DecodeField(row, table.fields()[1])));
        }
        return out;
    }

    void writeTable(int count)
    {
        CreateTableFile(path(), smallSchema(), fixedDateOptions());
        ASSERT_EQ(startAppending("first", count)->wait(), 0);
    }

    testing::TempDir m_dir;
    std::unique_ptr<TestProcess> m_holder;
};

TEST_F(FileSharingTest, ReadsGoOnWhileAnotherStationHoldsTheAppendLock)
{
    writeTable(3);
    const std::string before = readAll(path());
    holdLock();

    auto raw = base::openFile(path(), base::OpenMode::ReadOnly);
    std::string bytes(before.size(), '\0');
    EXPECT_EQ(raw->readAt(0, bytes.data(), bytes.size()), before.size());
    EXPECT_EQ(bytes, before);

    // The browser opens the table writable and reads it.
    auto table = open(false);
    const std::vector<std::pair<std::string, std::int64_t>> expected {{"first", 1}, {"first", 2}, {"first", 3}};
    EXPECT_EQ(rows(*table), expected);
    release();
}

#ifdef _WIN32
// Windows byte-range locks are mandatory: a read or write of a byte that another handle holds locked
// fails. So the append lock must lie outside every byte a file can hold (offsets below 2^63): then a
// shared lock over all of them, which conflicts with any exclusive lock there, is granted at once.
TEST_F(FileSharingTest, TheAppendLockCoversNoByteAFileCanHold)
{
    writeTable(1);
    holdLock();
    HANDLE handle = CreateFileA(path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    OVERLAPPED start {};
    EXPECT_TRUE(LockFileEx(handle, LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, 0x7FFFFFFF, &start))
        << "the append lock covers bytes of the file: system error " << GetLastError();
    UnlockFileEx(handle, 0, MAXDWORD, 0x7FFFFFFF, &start);
    CloseHandle(handle);
    release();
}
#endif

TEST_F(FileSharingTest, AnAppendWaitsForTheStationHoldingTheLock)
{
    writeTable(1);
    const std::uint64_t size = testing::fileSize(path());
    holdLock();
    auto appender = startAppending("second", 1);
    ASSERT_TRUE(testing::waitForFile(marker("second.started"), kWaitMs));
    EXPECT_FALSE(appender->ended(500)) << "the append did not wait for the lock";
    EXPECT_EQ(testing::fileSize(path()), size);
    release();
    EXPECT_EQ(appender->wait(), 0);
    auto table = open(true);
    const std::vector<std::pair<std::string, std::int64_t>> expected {{"first", 1}, {"second", 1}};
    EXPECT_EQ(rows(*table), expected);
}

TEST_F(FileSharingTest, TwoStationsAppendingAtOnceLoseNoRow)
{
    constexpr int kRowsEach = 100;
    CreateTableFile(path(), smallSchema(), fixedDateOptions());
    auto one = startAppending("one", kRowsEach);
    auto two = startAppending("two", kRowsEach);
    ASSERT_EQ(one->wait(), 0);
    ASSERT_EQ(two->wait(), 0);

    std::vector<std::string> notices;
    TableOptions options = fixedDateOptions();
    options.notice = [&notices](const std::string& text) { notices.push_back(text); };
    auto table = OpenTableFile(path(), OpenMode::ReadOnly, IfMissing::Fail, {}, options);
    EXPECT_TRUE(notices.empty()) << notices.front();
    ASSERT_EQ(table->rowCount(), 2U * kRowsEach);
    const auto stored = rows(*table);
    const std::set<std::pair<std::string, std::int64_t>> distinct(stored.begin(), stored.end());
    EXPECT_EQ(stored.size(), 2U * kRowsEach) << "a row was overwritten or lost its flag";
    EXPECT_EQ(distinct.size(), 2U * kRowsEach);
}

} // namespace
} // namespace storage
