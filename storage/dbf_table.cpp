#include "storage/dbf_table.h"

#include "storage/dbf_format.h"
#include "storage/dbf_header.h"
#include "storage/errors.h"
#include "text/messages.h"

#include <algorithm>
#include <cassert>
#include <random>

namespace storage {

namespace {

void putLe(std::vector<unsigned char>& bytes, std::size_t offset, std::size_t size, std::uint32_t value)
{
    for (std::size_t i = 0; i < size && offset + i < bytes.size(); ++i) {
        bytes[offset + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFFU);
    }
}

void stampDate(std::vector<unsigned char>& header, const base::LocalDate& today)
{
    header[dbf::kYearOffset] = static_cast<unsigned char>((today.year - 1900) & 0xFF);
    header[dbf::kMonthOffset] = static_cast<unsigned char>(today.month);
    header[dbf::kDayOffset] = static_cast<unsigned char>(today.day);
}

base::LocalDate todayFrom(const TableOptions& options)
{
    return options.today ? options.today() : base::localToday();
}

[[noreturn]] void throwFieldCount(long long count)
{
    throw TableError(text::formatMessage(messages::kInvalidFieldCount, {count}));
}

void writeEmptyTable(base::File& file, const std::vector<TableFieldDef>& fields, const TableOptions& options)
{
    const std::vector<unsigned char> image = emptyTableImage(fields, todayFrom(options));
    // Shorten first, then write: a crash in between leaves an empty file, never old rows under a new
    // header.
    file.truncate(0);
    file.writeAt(0, image.data(), image.size());
}

// The system's reason at the end of a FileError about `file` ("<what> <file>: <reason>"), with its
// separator; empty when the message gives none.
std::string reasonOf(const FileError& error, const std::string& file)
{
    const std::string text = error.what();
    const std::size_t at = text.find(file + ": ");
    return at == std::string::npos ? std::string() : text.substr(at + file.size());
}

std::string temporaryNameFor(const std::string& path)
{
    static std::mt19937_64 generator {std::random_device {}()};
    const auto slash = path.find_last_of("/\\");
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return directory + "." + name + "." + std::to_string(generator()) + ".tmp";
}

} // namespace

std::vector<unsigned char> emptyTableImage(const std::vector<TableFieldDef>& fields, const base::LocalDate& today)
{
    if (fields.size() < static_cast<std::size_t>(dbf::kMinFieldCount)
        || fields.size() > static_cast<std::size_t>(dbf::kMaxFieldCount)) {
        throwFieldCount(static_cast<long long>(fields.size()));
    }
    const std::size_t headerLength = dbf::headerLength(fields.size());
    std::vector<unsigned char> image(headerLength + 1, 0);
    image[dbf::kVersionOffset] = dbf::kVersionDbase3;
    std::uint32_t recordLength = 1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const TableFieldDef& field = fields[i];
        const std::size_t at = dbf::kMainHeaderSize + i * dbf::kDescriptorSize;
        const std::size_t nameLength = std::min(field.name.size(), dbf::kMaxNameLength);
        std::copy_n(field.name.begin(), nameLength, image.begin() + static_cast<std::ptrdiff_t>(at + dbf::kNameOffset));
        image[at + dbf::kTypeOffset] = static_cast<unsigned char>(field.type);
        image[at + dbf::kWidthOffset] = static_cast<unsigned char>(field.width & 0xFF);
        image[at + dbf::kDecimalsOffset] = static_cast<unsigned char>(field.decimals & 0xFF);
        recordLength += static_cast<std::uint32_t>(field.width & 0xFF);
    }
    image[headerLength - 1] = dbf::kHeaderTerminator;
    image[headerLength] = dbf::kEndMarker;
    putLe(image, dbf::kHeaderLengthOffset, 2, static_cast<std::uint32_t>(headerLength));
    putLe(image, dbf::kRecordLengthOffset, 2, recordLength);
    stampDate(image, today);
    return image;
}

TableFile::TableFile(std::unique_ptr<base::File> file, bool writable, const TableOptions& options, bool justCreated)
    : TPagedFile(std::move(file), writable)
    , m_options(options)
{
    readStructure(justCreated);
}

void TableFile::notice(const std::string& text) const
{
    if (m_options.notice) {
        m_options.notice(text);
    }
}

void TableFile::readStructure(bool justCreated)
{
    // Everything that could refuse the file comes first: a file that is not the table wanted gets neither
    // a notice nor, at its close, a header.
    TableStructure structure = readTableStructure(file());
    if (m_options.checkFields) {
        m_options.checkFields(path(), structure.fields);
    }
    m_fields = std::move(structure.fields);
    // The header and the size just read: the file is not read again for them.
    setLayout(std::move(structure.header), structure.storedRecordLength, structure.fileSize);
    if (!justCreated && structure.storedRowCount != rowCount()) {
        notice(text::formatMessage(
            messages::kInvalidRecordCount,
            {static_cast<long long>(structure.storedRowCount), static_cast<long long>(rowCount())}));
    }
    std::size_t computed = 1;
    for (const TableFieldDef& field : m_fields) {
        computed += static_cast<std::size_t>(field.width);
    }
    if (computed != structure.storedRecordLength) {
        notice(text::formatMessage(
            messages::kInvalidRecordSize,
            {static_cast<long long>(structure.storedRecordLength), static_cast<long long>(computed)}));
        // The corrected length reaches the disk with the next header store.
        putLe(header(), dbf::kRecordLengthOffset, 2, static_cast<std::uint32_t>(computed));
        setPageSize(computed);
    }
}

std::uint32_t TableFile::refreshRowCount()
{
    dropReadAhead();
    return countPages();
}

void TableFile::requireWritable() const
{
    if (!writable()) {
        throw FileError(text::formatMessage(messages::kCannotWriteFile, {path()}) + ": the table is open read-only");
    }
}

void TableFile::checkRowNumber(std::uint32_t rowNumber) const
{
    if (rowNumber < 1 || rowNumber > rowCount()) {
        throw TableError(text::formatMessage(messages::kInvalidRowNumber, {static_cast<long long>(rowNumber)}));
    }
}

void TableFile::loadRow(std::uint32_t rowNumber, RowBuffer& row)
{
    checkRowNumber(rowNumber);
    if (row.size() != recordLength()) {
        row = newRow();
    }
    readPage(rowNumber, row.data());
}

std::uint32_t TableFile::seekVisible(std::uint32_t rowNumber, int step, RowBuffer& row)
{
    assert(step == 1 || step == -1);
    for (std::uint32_t n = rowNumber; n >= 1 && n <= rowCount(); n = step > 0 ? n + 1 : n - 1) {
        loadRow(n, row);
        if (row.flag() == dbf::kLiveFlag) {
            return n;
        }
    }
    return 0;
}

std::uint32_t TableFile::appendRow(RowBuffer& row)
{
    requireWritable();
    assert(row.size() == recordLength());
    row.setFlag(dbf::kLiveFlag);
    base::FileLock lock(file());
    // The new row goes behind the last whole record in the file, whoever wrote it. Any bytes there
    // (the end marker, or the rest of a record another station failed to finish) are kept so that a
    // failed write can put them back.
    const std::uint64_t size = file().size();
    const std::uint32_t existing = pagesInSize(size);
    const std::uint64_t position = pageOffset(existing + 1);
    std::vector<unsigned char> tail(size > position ? static_cast<std::size_t>(size - position) : 0);
    if (!tail.empty()) {
        file().readAt(position, tail.data(), tail.size());
    }
    try {
        writePage(existing + 1, row.data());
    } catch (const FileError&) {
        try {
            file().truncate(std::max(size, position));
            file().writeAt(position, tail.data(), tail.size());
        } catch (const FileError&) {
            // The original failure is the one to report; the half record lies behind the last row
            // and the next append or header store writes over it.
        }
        throw;
    }
    setPageCount(existing + 1);
    return existing + 1;
}

unsigned char TableFile::flagInFile(std::uint32_t rowNumber)
{
    unsigned char flag = 0;
    file().readAt(pageOffset(rowNumber), &flag, 1);
    return flag;
}

bool TableFile::rewriteRow(RowBuffer& row, std::uint32_t rowNumber)
{
    requireWritable();
    checkRowNumber(rowNumber);
    base::FileLock lock(file());
    if (flagInFile(rowNumber) != dbf::kLiveFlag) {
        return false;
    }
    row.setFlag(dbf::kLiveFlag);
    writePage(rowNumber, row.data());
    return true;
}

bool TableFile::markRowDeleted(std::uint32_t rowNumber)
{
    requireWritable();
    checkRowNumber(rowNumber);
    base::FileLock lock(file());
    if (flagInFile(rowNumber) != dbf::kLiveFlag) {
        return false;
    }
    // Only the flag: the rest of the record is another station's as much as ours.
    dropReadAhead();
    const unsigned char flag = dbf::kDeletedFlag;
    file().writeAt(pageOffset(rowNumber), &flag, 1);
    return true;
}

void TableFile::storeHeader()
{
    requireWritable();
    base::FileLock lock(file());
    // Count what is in the file: another station may have appended since this one last counted, and a
    // stale count would put the end marker over that station's row and drop it from the header.
    const std::uint32_t count = pagesInSize(file().size());
    stampDate(header(), todayFrom(m_options));
    putLe(header(), dbf::kRowCountOffset, 4, count);
    writeHeader();
    const unsigned char marker = dbf::kEndMarker;
    file().writeAt(pageOffset(count + 1), &marker, 1);
    setPageCount(count);
}

void CreateTableFile(const std::string& path, const std::vector<TableFieldDef>& fields, const TableOptions& options)
{
    if (paged_file_registry::find(path)) {
        throw TableError(text::formatMessage(messages::kCannotCreateFile, {path}) + ": the table is open");
    }
    emptyTableImage(fields, {}); // validates the field list before anything is emptied
    auto file = base::openOrCreateFile(path);
    base::FileLock lock(*file);
    writeEmptyTable(*file, fields, options);
}

bool CreateTableFileIfMissing(const std::string& path, const std::vector<TableFieldDef>& fields,
                              const TableOptions& options)
{
    if (base::fileExists(path)) {
        return false;
    }
    emptyTableImage(fields, {});
    const std::string temporary = temporaryNameFor(path);
    try {
        auto file = base::createFileExclusive(temporary);
        if (!file) {
            throw FileError(text::formatMessage(messages::kCannotCreateFile, {path}));
        }
        writeEmptyTable(*file, fields, options);
        file->sync();
    } catch (const FileError& error) {
        base::removeFileQuietly(temporary);
        // The temporary name means nothing to the examiner: name the table, with the system's reason.
        throw FileError(text::formatMessage(messages::kCannotCreateFile, {path}) + reasonOf(error, temporary));
    } catch (...) {
        base::removeFileQuietly(temporary);
        throw;
    }
    switch (base::publishFile(temporary, path)) {
    case base::PublishResult::Published:
        return true;
    case base::PublishResult::TargetExists:
        base::removeFileQuietly(temporary);
        return false;
    case base::PublishResult::Unsupported:
        break;
    }
    // The file system cannot link: fall back to exclusive creation, which still never empties a file
    // another station made, at the price of a short window in which the header is incomplete.
    base::removeFileQuietly(temporary);
    auto file = base::createFileExclusive(path);
    if (!file) {
        return false;
    }
    writeEmptyTable(*file, fields, options);
    return true;
}

std::shared_ptr<TableFile> OpenTableFile(const std::string& path, OpenMode mode, IfMissing missing,
                                         const std::vector<TableFieldDef>& fields, const TableOptions& options)
{
    // One look at the name tells, for a file that is there, both that it exists and whether this process
    // has it open already.
    const std::optional<std::string> identity = base::fileIdentity(path);
    if (identity) {
        if (auto shared = std::dynamic_pointer_cast<TableFile>(paged_file_registry::findIdentity(*identity))) {
            return shared;
        }
    }
    bool created = false;
    if (!identity && !base::fileExists(path)) {
        if (missing == IfMissing::Fail) {
            throw TableError(text::formatMessage(messages::kTableNotFound, {path}));
        }
        created = CreateTableFileIfMissing(path, fields, options);
    }
    auto file = base::openFile(path, mode);
    if (!file) {
        throw TableError(text::formatMessage(messages::kTableNotFound, {path}));
    }
    auto table = std::make_shared<TableFile>(std::move(file), mode == OpenMode::ReadWrite, options, created);
    if (created || !identity) {
        paged_file_registry::add(path, table); // a new file, or one whose identity could not be had
    } else {
        paged_file_registry::addIdentity(*identity, table);
    }
    return table;
}

void CheckTableFile(const std::string& path, bool writable, const TableOptions& options)
{
    auto file = base::openFile(path, writable ? base::OpenMode::ReadWrite : base::OpenMode::ReadOnly);
    if (!file) {
        throw TableError(text::formatMessage(messages::kTableNotFound, {path}));
    }
    TableOptions quiet = options;
    quiet.notice = nullptr;
    // Destroyed without a header store: the check writes nothing.
    TableFile check(std::move(file), writable, quiet, true);
}

void CloseTableFile(std::shared_ptr<TableFile>& table)
{
    if (!table) {
        return;
    }
    auto closing = std::move(table);
    table.reset();
    if (closing->writable()) {
        closing->storeHeader();
    }
}

} // namespace storage
