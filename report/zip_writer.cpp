#include "report/zip_writer.h"

#include "report/report_error.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <new>
#include <zlib.h>

namespace report {

namespace {

constexpr std::uint64_t kZipLimit = std::numeric_limits<std::uint32_t>::max();
constexpr std::size_t kBuffersInFlight = 3;

void appendU16(std::string& out, std::uint64_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void appendU32(std::string& out, std::uint64_t value)
{
    appendU16(out, value & 0xFFFF);
    appendU16(out, (value >> 16) & 0xFFFF);
}

std::uint32_t updateCrc(std::uint32_t crc, std::string_view bytes)
{
    // zlib takes lengths as uInt: long buffers go in parts.
    const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
    std::size_t left = bytes.size();
    uLong value = crc;
    while (left > 0) {
        const uInt part = static_cast<uInt>(std::min<std::size_t>(left, 1U << 30));
        value = crc32(value, data, part);
        data += part;
        left -= part;
    }
    return static_cast<std::uint32_t>(value);
}

constexpr std::uint16_t kGeneralFlagDataDescriptor = 0x0008;
constexpr std::uint16_t kVersionNeeded = 20; // deflate
constexpr std::uint16_t kMethodDeflate = 8;

} // namespace

// One raw deflate stream with the running checksum and sizes of what went in and came out.
class ZipWriter::Deflater
{
public:
    explicit Deflater(int level)
    {
        if (deflateInit2(&m_stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            throw std::bad_alloc();
        }
        m_output.resize(1 << 17);
    }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Compresses `input`, the last part when `last`, and gives the compressed bytes to `sink`.
    template<typename Sink>
    void run(std::string_view input, bool last, Sink&& sink)
    {
        crc = updateCrc(crc, input);
        size += input.size();
        const char* next = input.data();
        std::size_t left = input.size();
        for (;;) {
            const uInt part = static_cast<uInt>(std::min<std::size_t>(left, 1U << 30));
            m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(next));
            m_stream.avail_in = part;
            const bool finishing = last && part == left;
            int result = Z_OK;
            do {
                m_stream.next_out = reinterpret_cast<Bytef*>(m_output.data());
                m_stream.avail_out = static_cast<uInt>(m_output.size());
                result = deflate(&m_stream, finishing ? Z_FINISH : Z_NO_FLUSH);
                if (result == Z_STREAM_ERROR) {
                    throw std::logic_error("deflate state");
                }
                const std::size_t produced = m_output.size() - m_stream.avail_out;
                compressedSize += produced;
                sink(std::string_view(m_output.data(), produced));
            } while (m_stream.avail_out == 0 || (finishing && result != Z_STREAM_END));
            next += part;
            left -= part;
            if (left == 0) {
                return;
            }
        }
    }

    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;

private:
    z_stream m_stream {};
    std::string m_output;
};

ZipWriter::ZipWriter(std::FILE* stream, std::string path, int level)
    : m_stream(stream)
    , m_path(std::move(path))
    , m_level(level)
{
    const std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now); local && local->tm_year >= 80) {
        m_dosTime = static_cast<std::uint16_t>((local->tm_hour << 11) | (local->tm_min << 5) | (local->tm_sec / 2));
        m_dosDate
            = static_cast<std::uint16_t>(((local->tm_year - 80) << 9) | ((local->tm_mon + 1) << 5) | local->tm_mday);
    } else {
        m_dosDate = (1 << 5) | 1; // 1 January 1980, the format's first day
    }
}

ZipWriter::~ZipWriter()
{
    if (m_worker.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_workerError.empty()) {
                m_workerError = "abandoned"; // the file is being thrown away: nothing more to compress
            }
        }
        stopWorker();
    }
}

void ZipWriter::addEntry(std::string_view name, std::string_view content)
{
    Entry entry;
    entry.name = std::string(name);
    entry.offset = m_offset;
    std::string compressed;
    Deflater deflater(m_level);
    deflater.run(content, true, [&](std::string_view bytes) { compressed += bytes; });
    entry.crc = deflater.crc;
    entry.size = deflater.size;
    entry.compressedSize = deflater.compressedSize;
    writeLocalHeader(entry);
    put(compressed);
    m_entries.push_back(std::move(entry));
}

void ZipWriter::beginEntry(std::string_view name)
{
    Entry entry;
    entry.name = std::string(name);
    entry.offset = m_offset;
    entry.streamed = true;
    writeLocalHeader(entry);
    m_entries.push_back(std::move(entry));
    m_deflater = std::make_unique<Deflater>(m_level);
    m_closing = false;
    m_worker = std::thread([this] { compressLoop(); });
}

void ZipWriter::write(std::string& buffer)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_pending.size() < kBuffersInFlight || !m_workerError.empty(); });
    if (!m_workerError.empty()) {
        lock.unlock();
        rethrowWorkerError();
    }
    m_pending.push_back(std::move(buffer));
    if (m_free.empty()) {
        buffer = std::string();
    } else {
        buffer = std::move(m_free.back());
        m_free.pop_back();
    }
    buffer.clear();
    m_changed.notify_all();
}

void ZipWriter::endEntry()
{
    stopWorker();
    rethrowWorkerError();
    Entry& entry = m_entries.back();
    entry.crc = m_deflater->crc;
    entry.size = m_deflater->size;
    entry.compressedSize = m_deflater->compressedSize;
    m_deflater.reset();
    if (entry.size > kZipLimit) {
        fail("more than 4 GB; use CSV");
    }
    std::string descriptor;
    appendU32(descriptor, 0x08074b50);
    appendU32(descriptor, entry.crc);
    appendU32(descriptor, entry.compressedSize);
    appendU32(descriptor, entry.size);
    put(descriptor);
}

void ZipWriter::finish()
{
    const std::uint64_t directoryOffset = m_offset;
    std::string directory;
    for (const Entry& entry : m_entries) {
        appendU32(directory, 0x02014b50);
        appendU16(directory, kVersionNeeded); // made by: MS-DOS attributes, version 2.0
        appendU16(directory, kVersionNeeded);
        appendU16(directory, entry.streamed ? kGeneralFlagDataDescriptor : 0);
        appendU16(directory, kMethodDeflate);
        appendU16(directory, m_dosTime);
        appendU16(directory, m_dosDate);
        appendU32(directory, entry.crc);
        appendU32(directory, entry.compressedSize);
        appendU32(directory, entry.size);
        appendU16(directory, entry.name.size());
        appendU16(directory, 0); // extra field
        appendU16(directory, 0); // comment
        appendU16(directory, 0); // disk
        appendU16(directory, 0); // internal attributes
        appendU32(directory, 0); // external attributes
        appendU32(directory, entry.offset);
        directory += entry.name;
    }
    put(directory);
    std::string end;
    appendU32(end, 0x06054b50);
    appendU16(end, 0);
    appendU16(end, 0);
    appendU16(end, m_entries.size());
    appendU16(end, m_entries.size());
    appendU32(end, directory.size());
    appendU32(end, directoryOffset);
    appendU16(end, 0);
    put(end);
}

void ZipWriter::writeLocalHeader(const Entry& entry)
{
    std::string header;
    appendU32(header, 0x04034b50);
    appendU16(header, kVersionNeeded);
    appendU16(header, entry.streamed ? kGeneralFlagDataDescriptor : 0);
    appendU16(header, kMethodDeflate);
    appendU16(header, m_dosTime);
    appendU16(header, m_dosDate);
    appendU32(header, entry.crc); // all three 0 for a streamed entry: they follow its data
    appendU32(header, entry.compressedSize);
    appendU32(header, entry.size);
    appendU16(header, entry.name.size());
    appendU16(header, 0);
    header += entry.name;
    put(header);
}

void ZipWriter::put(std::string_view bytes)
{
    if (m_offset + bytes.size() > kZipLimit) {
        fail("more than 4 GB; use CSV");
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_stream) != bytes.size()) {
        fail(std::strerror(errno));
    }
    m_offset += bytes.size();
}

void ZipWriter::compressLoop()
{
    for (;;) {
        std::string buffer;
        bool last = false;
        bool skip = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_pending.empty() || m_closing; });
            if (m_pending.empty()) {
                last = true;
            } else {
                buffer = std::move(m_pending.front());
                m_pending.pop_front();
            }
            skip = !m_workerError.empty();
        }
        if (!skip) {
            try {
                m_deflater->run(buffer, last, [this](std::string_view bytes) { put(bytes); });
            } catch (const std::exception& error) {
                const std::lock_guard<std::mutex> lock(m_mutex);
                m_workerError = error.what();
            }
        }
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (last) {
            return;
        }
        buffer.clear();
        m_free.push_back(std::move(buffer));
        m_changed.notify_all();
    }
}

void ZipWriter::fail(const std::string& reason) const
{
    throw fileError(text::messages::kCannotWriteFile, m_path, reason);
}

void ZipWriter::rethrowWorkerError()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_workerError.empty()) {
        throw ReportError(m_workerError);
    }
}

void ZipWriter::stopWorker()
{
    if (!m_worker.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

} // namespace report
