#include "storage/paged_file.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <map>

namespace storage {

namespace {

constexpr std::size_t kReadAheadBytes = 64 * 1024;
constexpr std::uint32_t kReadAheadAfter = 16; // sequential page reads before reading ahead

} // namespace

TPagedFile::TPagedFile(std::unique_ptr<base::File> file, bool writable)
    : m_file(std::move(file))
    , m_writable(writable)
{
    assert(m_file);
}

void TPagedFile::setHeaderLength(std::size_t length)
{
    dropReadAhead();
    m_header.assign(length, 0);
    if (length > 0) {
        m_file->readAt(0, m_header.data(), length);
    }
    countPages();
}

void TPagedFile::setLayout(std::vector<unsigned char> header, std::size_t pageSize, std::uint64_t fileSize)
{
    dropReadAhead();
    m_header = std::move(header);
    m_pageSize = pageSize;
    m_pageCount = pagesInSize(fileSize);
}

void TPagedFile::setPageSize(std::size_t size)
{
    dropReadAhead();
    m_pageSize = size;
    countPages();
}

std::uint32_t TPagedFile::pagesInSize(std::uint64_t size) const
{
    if (m_pageSize == 0 || size < m_header.size()) {
        return 0;
    }
    const std::uint64_t pages = (size - m_header.size()) / m_pageSize;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(pages, UINT32_MAX));
}

std::uint32_t TPagedFile::countPages()
{
    m_pageCount = pagesInSize(m_file->size());
    return m_pageCount;
}

std::size_t TPagedFile::readPage(std::uint32_t page, unsigned char* out)
{
    assert(page >= 1 && m_pageSize > 0);
    const bool sequential = page == m_lastPage + 1;
    m_run = sequential ? m_run + 1 : 0;
    m_lastPage = page;
    if (page >= m_aheadFirst && page < m_aheadFirst + m_aheadCount) {
        std::memcpy(out, m_ahead.data() + std::size_t {page - m_aheadFirst} * m_pageSize, m_pageSize);
        return m_pageSize;
    }
    // Read ahead only within a long run of sequential reads, never more pages than the run has read so
    // far, and only as far as the page count reaches: steps and screenfuls read just what they pass
    // (give or take a few), while a scan of the whole table soon reads 64 KiB at a time.
    const std::size_t maxPages = std::max<std::size_t>(1, kReadAheadBytes / m_pageSize);
    const std::size_t wanted = m_run >= kReadAheadAfter && page <= m_pageCount
        ? std::min<std::size_t>({maxPages, m_run, m_pageCount - page + 1})
        : 1;
    if (wanted <= 1) {
        return m_file->readAt(pageOffset(page), out, m_pageSize);
    }
    m_ahead.resize(wanted * m_pageSize);
    const std::size_t got = m_file->readAt(pageOffset(page), m_ahead.data(), m_ahead.size());
    m_aheadFirst = page;
    m_aheadCount = static_cast<std::uint32_t>(got / m_pageSize);
    const std::size_t first = std::min(got, m_pageSize);
    std::memcpy(out, m_ahead.data(), first);
    return first;
}

void TPagedFile::writePage(std::uint32_t page, const unsigned char* data)
{
    assert(page >= 1 && m_pageSize > 0);
    dropReadAhead();
    m_file->writeAt(pageOffset(page), data, m_pageSize);
    m_pageCount = std::max(m_pageCount, page);
}

void TPagedFile::writeHeader()
{
    dropReadAhead();
    m_file->writeAt(0, m_header.data(), m_header.size());
}

void TPagedFile::dropReadAhead()
{
    m_aheadFirst = 0;
    m_aheadCount = 0;
    m_run = 0;
    m_lastPage = 0;
}

namespace paged_file_registry {

namespace {

std::map<std::string, std::weak_ptr<TPagedFile>>& entries()
{
    static std::map<std::string, std::weak_ptr<TPagedFile>> map;
    return map;
}

} // namespace

std::shared_ptr<TPagedFile> find(const std::string& path)
{
    const auto identity = base::fileIdentity(path);
    return identity ? findIdentity(*identity) : nullptr;
}

std::shared_ptr<TPagedFile> findIdentity(const std::string& identity)
{
    auto& map = entries();
    const auto it = map.find(identity);
    if (it == map.end()) {
        return nullptr;
    }
    auto file = it->second.lock();
    if (!file) {
        map.erase(it);
    }
    return file;
}

void add(const std::string& path, const std::shared_ptr<TPagedFile>& file)
{
    if (const auto identity = base::fileIdentity(path)) {
        addIdentity(*identity, file);
    }
}

void addIdentity(const std::string& identity, const std::shared_ptr<TPagedFile>& file)
{
    auto& map = entries();
    for (auto it = map.begin(); it != map.end();) {
        it = it->second.expired() ? map.erase(it) : std::next(it);
    }
    map[identity] = file;
}

} // namespace paged_file_registry

} // namespace storage
