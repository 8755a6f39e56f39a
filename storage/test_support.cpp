#include "storage/test_support.h"

#include "storage/errors.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <thread>

namespace storage::testing {

TempDir::TempDir()
{
    // create_directory is false for a name that exists: another test process may have taken it.
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto dir = std::filesystem::temp_directory_path() / ("storage_test_" + std::to_string(random()));
        if (std::filesystem::create_directory(dir)) {
            m_dir = (dir / "").string(); // ends with the system's separator
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

std::string readAll(const std::string& path)
{
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const std::string& path, const std::string& bytes)
{
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void setByte(const std::string& path, std::size_t offset, unsigned char value)
{
    std::string bytes = readAll(path);
    bytes.at(offset) = static_cast<char>(value);
    writeAll(path, bytes);
}

std::uint64_t fileSize(const std::string& path)
{
    return std::filesystem::file_size(path);
}

bool waitForFile(const std::string& path, int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!base::fileExists(path)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

base::LocalDate fixedDate()
{
    return {2026, 12, 7};
}

TableOptions fixedDateOptions()
{
    TableOptions options;
    options.today = fixedDate;
    return options;
}

FailingFile::FailingFile(std::unique_ptr<base::File> inner, std::size_t writeBudget)
    : base::File(inner->path())
    , m_inner(std::move(inner))
    , m_budget(writeBudget)
{ }

std::size_t FailingFile::readAt(std::uint64_t offset, void* data, std::size_t size)
{
    return m_inner->readAt(offset, data, size);
}

void FailingFile::writeAt(std::uint64_t offset, const void* data, std::size_t size)
{
    // Only bytes that grow the file use up the budget, as on a full disk.
    const std::uint64_t end = m_inner->size();
    const std::size_t inside
        = offset >= end ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(size, end - offset));
    const std::size_t growing = size - inside;
    if (growing <= m_budget) {
        m_budget -= growing;
        m_inner->writeAt(offset, data, size);
        return;
    }
    m_inner->writeAt(offset, data, inside + m_budget);
    m_budget = 0;
    throw FileError("Cannot write file " + path() + ": No space left on device");
}

std::vector<TableFieldDef> smallSchema()
{
    TableFieldDef surname;
    surname.name = "PRIJM";
    surname.type = 'C';
    surname.width = 15;
    TableFieldDef count;
    count.name = "POCET";
    count.type = 'N';
    count.width = 3;
    TableFieldDef mean;
    mean.name = "PRUMER";
    mean.type = 'F';
    mean.width = 8;
    return {surname, count, mean};
}

} // namespace storage::testing
