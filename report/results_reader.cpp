#include "report/results_reader.h"

#include "base/file.h"
#include "report/report_error.h"
#include "storage/dbf_format.h"

#include <algorithm>

namespace report {

ResultsReader::ResultsReader(const std::string& path)
    : m_path(path)
{
    storage::TableOptions options;
    options.notice = [this](const std::string& text) { m_notices.push_back(text); };
    try {
        m_table = storage::OpenTableFile(path, storage::OpenMode::ReadOnly, storage::IfMissing::Fail, {}, options);
    } catch (const std::exception& error) {
        // The table engine's own texts ("Invalid field count : -1 ...") do not always say which file.
        if (std::string(error.what()).find(path) != std::string::npos) {
            throw;
        }
        throw fileError(text::messages::kCannotReadFile, path, error.what());
    }
    m_decoder = std::make_unique<RecordDecoder>(m_table->fields(), path);
    m_identity = base::fileIdentity(path);
    refresh();
}

ResultsReader::~ResultsReader() = default;

std::uint32_t ResultsReader::recordCount() const
{
    return m_table->rowCount();
}

std::uint32_t ResultsReader::refresh()
{
    const std::uint32_t count = m_table->refreshRowCount();
    m_sizeCounted = m_table->headerLength() + std::uint64_t {count} * m_table->recordLength();
    return count;
}

void ResultsReader::changed(const std::string& what) const
{
    throw fileError(text::messages::kCannotReadFile, m_path, "it was changed while it was read (" + what + ")");
}

void ResultsReader::checkUnchanged()
{
    if (base::fileIdentity(m_path) != m_identity) {
        changed("another file has taken its name");
    }
    base::File& file = m_table->file();
    if (file.size() < m_sizeCounted) {
        changed("it is shorter than its rows");
    }
    // Stations rewrite only the date (bytes 1-3) and the row count (4-7) of the header.
    const std::vector<unsigned char>& opened = m_table->header();
    std::vector<unsigned char> now(opened.size());
    const std::size_t got = file.readAt(0, now.data(), now.size());
    const auto structureDiffers = [&](std::size_t from, std::size_t to) {
        return !std::equal(opened.begin() + static_cast<std::ptrdiff_t>(from),
                           opened.begin() + static_cast<std::ptrdiff_t>(to),
                           now.begin() + static_cast<std::ptrdiff_t>(from));
    };
    if (got < opened.size() || structureDiffers(0, 1) || structureDiffers(8, opened.size())) {
        changed("its header is not the one it had");
    }
}

bool ResultsReader::load(std::uint32_t record)
{
    if (record < 1 || record > recordCount() || m_row.size() != m_table->recordLength()) {
        m_table->loadRow(record, m_row); // the table's own error for a number outside, or a fresh buffer
    }
    // Every record counted was whole in the file when counted; one that is not now was cut off, and the
    // buffer would still hold the record read before it.
    if (m_table->readPage(record, m_row.data()) < m_row.size()) {
        changed("it is shorter than its rows");
    }
    return m_row.flag() == storage::dbf::kLiveFlag;
}

std::optional<StoredTest> ResultsReader::read(std::uint32_t record)
{
    if (!load(record)) {
        return std::nullopt;
    }
    return m_decoder->decode(m_row, record);
}

void ResultsReader::forEach(const std::function<void(const StoredTest&)>& visit)
{
    const std::uint32_t count = recordCount();
    for (std::uint32_t record = 1; record <= count; ++record) {
        if (load(record)) {
            visit(m_decoder->decode(m_row, record));
        }
    }
    checkUnchanged();
}

std::vector<TestIdentity> ResultsReader::identities(const Progress& progress)
{
    constexpr std::uint32_t kProgressStep = 4096;
    std::vector<TestIdentity> list;
    const std::uint32_t count = recordCount();
    for (std::uint32_t record = 1; record <= count; ++record) {
        if (progress && record % kProgressStep == 0 && !progress(record, count)) {
            throw Cancelled();
        }
        if (load(record)) {
            list.push_back(m_decoder->identity(m_row, record));
        }
    }
    checkUnchanged();
    return list;
}

std::vector<TestIdentity> ResultsReader::identitiesWithBirthNumber(const std::string& key)
{
    std::vector<TestIdentity> list;
    std::string digits;
    const std::uint32_t count = recordCount();
    for (std::uint32_t record = 1; record <= count; ++record) {
        if (load(record)) {
            // The digits are ASCII in code page 852 too: comparing bytes is comparing the decoded text.
            digits.clear();
            m_decoder->appendBirthDigits(m_row, digits);
            if (digits == key) {
                list.push_back(m_decoder->identity(m_row, record));
            }
        }
    }
    checkUnchanged();
    return list;
}

} // namespace report
