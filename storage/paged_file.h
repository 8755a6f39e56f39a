#pragma once

#include "base/file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace storage {

// An open file seen as a header block of H bytes followed by pages of P bytes; page n (from 1) lies at
// H + (n - 1) * P. The object keeps a copy of the whole header block and the page count, and reads
// ahead while pages are read in sequence so that a scan does not pay one system call per page.
//
// The read-ahead copy is dropped by every write through this object and by dropReadAhead(); pages that
// other processes change are seen after that. Not thread-safe: one thread uses a table.
class TPagedFile
{
public:
    // Takes ownership of the open `file`. `writable` says whether it was opened for writing.
    TPagedFile(std::unique_ptr<base::File> file, bool writable);
    virtual ~TPagedFile() = default;
    TPagedFile(const TPagedFile&) = delete;
    TPagedFile& operator=(const TPagedFile&) = delete;

    const std::string& path() const { return m_file->path(); }
    bool writable() const { return m_writable; }
    base::File& file() { return *m_file; }

    // H. Setting it reallocates the header copy, fills it with 0x00, reads it again from offset 0 (a
    // short file leaves the rest 0x00) and recounts the pages. Throws FileError.
    std::size_t headerLength() const { return m_header.size(); }
    void setHeaderLength(std::size_t length);

    // P. Setting it recounts the pages. Throws FileError.
    std::size_t pageSize() const { return m_pageSize; }
    void setPageSize(std::size_t size);

    // Sets H and P at once from what the caller has just read of the file: `header` becomes the header
    // copy (H is its size) and the pages are counted from `fileSize`. Reads nothing.
    void setLayout(std::vector<unsigned char> header, std::size_t pageSize, std::uint64_t fileSize);

    // The header copy; writeHeader() puts it back at offset 0.
    std::vector<unsigned char>& header() { return m_header; }
    const std::vector<unsigned char>& header() const { return m_header; }

    // Number of pages: floor((file size - H) / P) when last counted, 0 if that is negative or P is 0.
    std::uint32_t pageCount() const { return m_pageCount; }
    void setPageCount(std::uint32_t count) { m_pageCount = count; }
    // Counts the pages again from the file's current size and returns the count. Throws FileError.
    std::uint32_t countPages();
    // floor((size - H) / P) for a file of `size` bytes.
    std::uint32_t pagesInSize(std::uint64_t size) const;

    // File offset of page n (from 1).
    std::uint64_t pageOffset(std::uint32_t page) const
    {
        return m_header.size() + std::uint64_t {page - 1} * m_pageSize;
    }

    // Reads page `page` (1..pageCount) into `out` (P bytes). Returns the bytes read; a short read, at
    // the end of a cut file, leaves the rest of `out` as it was. Throws FileError.
    std::size_t readPage(std::uint32_t page, unsigned char* out);

    // Writes P bytes from `data` as page `page` and raises the page count to `page` if it was smaller.
    // Throws FileError; the page count is then unchanged.
    void writePage(std::uint32_t page, const unsigned char* data);

    // Writes the header copy at offset 0. Throws FileError.
    void writeHeader();

    // Forgets the pages read ahead, so the next read asks the file.
    void dropReadAhead();

private:
    std::unique_ptr<base::File> m_file;
    bool m_writable;
    std::vector<unsigned char> m_header;
    std::size_t m_pageSize = 0;
    std::uint32_t m_pageCount = 0;

    std::vector<unsigned char> m_ahead; // pages [m_aheadFirst, m_aheadFirst + m_aheadCount)
    std::uint32_t m_aheadFirst = 0;
    std::uint32_t m_aheadCount = 0;
    std::uint32_t m_lastPage = 0; // last page read, to tell a sequential scan
    std::uint32_t m_run = 0;      // length of the current sequential run
};

// The process keeps at most one open object per file; later users of the same file share it and the
// file is closed when the last user releases it. Files are told apart as the file system does (by
// fileIdentity()), so two spellings of one path, or a link to it, find the same object.
namespace paged_file_registry {

// The shared object open for the file that `path` names, or nullptr.
std::shared_ptr<TPagedFile> find(const std::string& path);
// The same for the file whose base::fileIdentity() is `identity`.
std::shared_ptr<TPagedFile> findIdentity(const std::string& identity);

// Registers `file`, open for `path`, for later users. The registry holds no ownership.
void add(const std::string& path, const std::shared_ptr<TPagedFile>& file);
// The same for the file whose base::fileIdentity() is `identity`.
void addIdentity(const std::string& identity, const std::shared_ptr<TPagedFile>& file);

} // namespace paged_file_registry

} // namespace storage
