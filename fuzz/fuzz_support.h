#pragma once

#include "base/file.h"
#include "storage/errors.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Helpers shared by the fuzz targets: a check that stops the run, a reader that takes the input apart,
// and a file held in memory so that the table code can be driven without touching the disk.
namespace fuzz {

// Stops the run with `what` when `condition` does not hold. libFuzzer (and the replay driver) report the
// abort as a crash and keep the input that caused it.
inline void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "property violated: %s\n", what);
        std::abort();
    }
}

// Takes bytes from the front of the input. Once the input is used up every call returns zeros or empty
// texts, so a target never reads past the end whatever the input's length.
class InputReader
{
public:
    InputReader(const std::uint8_t* data, std::size_t size)
        : m_rest(reinterpret_cast<const char*>(data), size)
    { }

    bool empty() const { return m_rest.empty(); }

    std::uint8_t byte()
    {
        if (m_rest.empty()) {
            return 0;
        }
        const auto value = static_cast<std::uint8_t>(m_rest.front());
        m_rest.remove_prefix(1);
        return value;
    }

    // Up to `count` bytes.
    std::string_view bytes(std::size_t count)
    {
        const std::string_view taken = m_rest.substr(0, count);
        m_rest.remove_prefix(taken.size());
        return taken;
    }

    // Everything not yet taken.
    std::string_view rest()
    {
        const std::string_view taken = m_rest;
        m_rest = {};
        return taken;
    }

private:
    std::string_view m_rest;
};

// A storage::File over a byte vector shared with the caller, who sees every write. Like a file on a
// disk with `growthBudget` bytes free: writes that grow the file use up the budget, and the write
// that crosses it stores what fits and then fails with FileError. Locks always succeed (one process).
class MemoryFile final : public base::File
{
public:
    explicit MemoryFile(std::shared_ptr<std::vector<unsigned char>> bytes,
                        std::size_t growthBudget = std::numeric_limits<std::size_t>::max())
        : base::File("memory.dbf")
        , m_bytes(std::move(bytes))
        , m_budget(growthBudget)
    { }

    std::size_t readAt(std::uint64_t offset, void* data, std::size_t size) override
    {
        // A read of nothing may come with no buffer at all (an empty vector's data()), which memcpy
        // must not be handed.
        if (size == 0 || offset >= m_bytes->size()) {
            return 0;
        }
        const std::size_t n = std::min<std::uint64_t>(size, m_bytes->size() - offset);
        std::memcpy(data, m_bytes->data() + offset, n);
        return n;
    }

    void writeAt(std::uint64_t offset, const void* data, std::size_t size) override
    {
        const std::uint64_t end = offset + size;
        const std::uint64_t growth = end > m_bytes->size() ? end - m_bytes->size() : 0;
        const std::uint64_t over = growth > m_budget ? growth - m_budget : 0;
        const std::size_t fits = over >= size ? 0 : static_cast<std::size_t>(size - over);
        if (fits > 0) {
            if (offset + fits > m_bytes->size()) {
                m_budget -= static_cast<std::size_t>(offset + fits - m_bytes->size());
                m_bytes->resize(static_cast<std::size_t>(offset + fits), 0);
            }
            std::memcpy(m_bytes->data() + offset, data, fits);
        }
        if (fits < size) {
            throw storage::FileError("Cannot write file memory.dbf: No space left on device");
        }
    }

    std::uint64_t size() override { return m_bytes->size(); }
    void truncate(std::uint64_t size) override { m_bytes->resize(static_cast<std::size_t>(size), 0); }
    void sync() override { }
    void lock() override { }
    void unlock() override { }

private:
    std::shared_ptr<std::vector<unsigned char>> m_bytes;
    std::size_t m_budget;
};

} // namespace fuzz
