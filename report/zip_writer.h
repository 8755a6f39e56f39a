#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A zip archive written front to back into an open stream, every entry deflated: the container of an
// XLSX workbook. Small entries are given whole; one large entry at a time can be streamed, and is then
// compressed on a second thread while the caller produces the next part of it. Archives are limited to
// 4 GB (no zip64); beyond that writing fails with a message.
namespace report {

class ZipWriter
{
public:
    // `stream` stays the caller's; `path` names the file in messages. `level` is zlib's 1 to 9.
    ZipWriter(std::FILE* stream, std::string path, int level);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Each throws ReportError "Cannot write file <path>: <reason>".
    void addEntry(std::string_view name, std::string_view content);

    // A streamed entry: write() hands over a filled buffer and gives back an empty one (with capacity),
    // so that the caller goes on filling while the given one is compressed.
    void beginEntry(std::string_view name);
    void write(std::string& buffer);
    void endEntry();

    // Writes the central directory. The stream is then complete but not flushed.
    void finish();

private:
    struct Entry
    {
        std::string name;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t size = 0;
        std::uint64_t offset = 0;
        bool streamed = false;
    };
    class Deflater;

    void writeLocalHeader(const Entry& entry);
    void put(std::string_view bytes);
    void compressLoop();
    [[noreturn]] void fail(const std::string& reason) const;
    void rethrowWorkerError();
    void stopWorker();

    std::FILE* m_stream;
    std::string m_path;
    int m_level;
    std::uint16_t m_dosTime = 0;
    std::uint16_t m_dosDate = 0;
    std::uint64_t m_offset = 0;
    std::vector<Entry> m_entries;

    // The streamed entry, between beginEntry() and endEntry(): full buffers wait in m_pending for the
    // compressing thread, which gives them back emptied in m_free. It writes the stream only then;
    // the caller touches it again after joining.
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_pending;
    std::vector<std::string> m_free;
    bool m_closing = false;
    std::string m_workerError;
    std::unique_ptr<Deflater> m_deflater;
    std::thread m_worker;
};

} // namespace report
