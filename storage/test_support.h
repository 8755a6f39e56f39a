#pragma once

#include "base/file.h"
#include "base/local_date.h"
#include "storage/dbf_table.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Helpers shared by the storage tests: a scratch directory, whole-file access, and a file that fails.
namespace storage::testing {

// A fresh directory under the system's temporary directory, removed with everything in it at the end.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory, ending with the separator ("/", or "\\" on Windows).
    const std::string& dir() const { return m_dir; }
    // `name` inside the directory.
    std::string path(const std::string& name) const { return m_dir + name; }

private:
    std::string m_dir;
};

std::string readAll(const std::string& path);
void writeAll(const std::string& path, const std::string& bytes);
void setByte(const std::string& path, std::size_t offset, unsigned char value);
std::uint64_t fileSize(const std::string& path);
// True once a file named `path` exists (another process made it); waits at most `milliseconds` for it.
bool waitForFile(const std::string& path, int milliseconds);

// The date the tests stamp into headers: 7 December 2026.
base::LocalDate fixedDate();
TableOptions fixedDateOptions();

// A file that passes everything to `inner` but lets the file grow by only `writeBudget` more bytes: the write
// that crosses the budget writes what fits and then fails, as a full disk does.
class FailingFile final : public base::File
{
public:
    FailingFile(std::unique_ptr<base::File> inner, std::size_t writeBudget);

    std::size_t readAt(std::uint64_t offset, void* data, std::size_t size) override;
    void writeAt(std::uint64_t offset, const void* data, std::size_t size) override;
    std::uint64_t size() override { return m_inner->size(); }
    void truncate(std::uint64_t size) override { m_inner->truncate(size); }
    void sync() override { m_inner->sync(); }
    void lock() override { m_inner->lock(); }
    void unlock() override { m_inner->unlock(); }

private:
    std::unique_ptr<base::File> m_inner;
    std::size_t m_budget;
};

// A file that passes everything to `inner` and counts the bytes read.
class CountingFile final : public base::File
{
public:
    explicit CountingFile(std::unique_ptr<base::File> inner)
        : base::File(inner->path())
        , m_inner(std::move(inner))
    { }

    std::size_t readAt(std::uint64_t offset, void* data, std::size_t size) override
    {
        m_bytesRead += size;
        return m_inner->readAt(offset, data, size);
    }
    void writeAt(std::uint64_t offset, const void* data, std::size_t size) override
    {
        m_inner->writeAt(offset, data, size);
    }
    std::uint64_t size() override { return m_inner->size(); }
    void truncate(std::uint64_t size) override { m_inner->truncate(size); }
    void sync() override { m_inner->sync(); }
    void lock() override { m_inner->lock(); }
    void unlock() override { m_inner->unlock(); }

    std::uint64_t bytesRead() const { return m_bytesRead; }

private:
    std::unique_ptr<base::File> m_inner;
    std::uint64_t m_bytesRead = 0;
};

// Names the cases of a TEST_P table after their `name` member.
struct CaseName
{
    template<typename Info>
    std::string operator()(const Info& tested) const
    {
        return tested.param.name;
    }
};

// A small table of the three kinds the program writes: PRIJM C 15, POCET N 3, PRUMER F 8.
std::vector<TableFieldDef> smallSchema();

} // namespace storage::testing
