#include "storage/dbf_header.h"

#include "storage/dbf_format.h"
#include "storage/errors.h"
#include "text/messages.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace storage {

namespace {

// Where the parts of a descriptor lie in the layout a version byte selects.
struct Layout
{
    std::size_t mainSize;
    std::size_t descriptorSize;
    std::size_t nameSize;
    std::size_t typeOffset;
    std::size_t widthOffset;
    std::size_t decimalsOffset;
};

constexpr Layout kCommonLayout {dbf::kMainHeaderSize, dbf::kDescriptorSize, dbf::kNameSize,
                                dbf::kTypeOffset,     dbf::kWidthOffset,    dbf::kDecimalsOffset};
constexpr Layout kLongLayout {dbf::kLongMainHeaderSize, dbf::kLongDescriptorSize, dbf::kLongNameSize,
                              dbf::kLongTypeOffset,     dbf::kLongWidthOffset,    dbf::kLongDecimalsOffset};

std::uint32_t getLe(const std::vector<unsigned char>& bytes, std::size_t offset, std::size_t size)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size && offset + i < bytes.size(); ++i) {
        value |= std::uint32_t {bytes[offset + i]} << (8 * i);
    }
    return value;
}

std::string hexByte(unsigned char byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte));
    return text;
}

class Refusal
{
public:
    explicit Refusal(const std::string& path)
        : m_prefix(text::formatMessage(messages::kCannotOpenFile, {path}) + ": ")
    { }
    [[noreturn]] void operator()(const char* reason, std::initializer_list<text::MessageArg> args = {}) const
    {
        throw TableError(m_prefix + text::formatMessage(reason, args));
    }

private:
    std::string m_prefix;
};

long long number(std::uint64_t value)
{
    return static_cast<long long>(value);
}

// The number of descriptors: those before the first slot that begins with the terminator. `bytes` holds
// the file from its start; nullopt when no slot within it begins with the terminator.
std::optional<std::size_t> countDescriptors(const std::vector<unsigned char>& bytes, const Layout& layout)
{
    std::size_t count = 0;
    for (std::size_t at = layout.mainSize; at < bytes.size(); at += layout.descriptorSize, ++count) {
        if (bytes[at] == dbf::kHeaderTerminator) {
            return count;
        }
    }
    return std::nullopt;
}

TableFieldDef readDescriptor(const unsigned char* bytes, std::size_t number, const Layout& layout,
                             const Refusal& refuse)
{
    const auto* name = reinterpret_cast<const char*>(bytes);
    const auto nameLength = static_cast<std::size_t>(std::find(name, name + layout.nameSize, '\0') - name);
    // Names are ASCII in files we write; other writers may use their code page's letters, so only
    // control bytes (which no name holds) make a name invalid.
    if (nameLength == 0
        || std::any_of(name, name + nameLength, [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        refuse(messages::kBadFieldName, {static_cast<long long>(number)});
    }
    const unsigned char type = bytes[layout.typeOffset];
    if (type <= 0x20 || type >= 0x7F) {
        refuse(messages::kBadFieldType, {static_cast<long long>(number)});
    }
    return normalizeFieldDef(std::string(name, nameLength), static_cast<char>(type), bytes[layout.widthOffset],
                             bytes[layout.decimalsOffset]);
}

} // namespace

TableStructure readTableStructure(base::File& file)
{
    const Refusal refuse(file.path());
    const std::uint64_t size = file.size();
    if (size == 0) {
        refuse(messages::kEmptyFile);
    }
    TableStructure structure;
    structure.fileSize = size;
    // The common main header at once (a shorter file leaves the rest 0x00): it holds the version byte too.
    std::vector<unsigned char> main(dbf::kMainHeaderSize, 0);
    file.readAt(0, main.data(), main.size());
    structure.version = main[dbf::kVersionOffset];
    if (!dbf::isKnownVersion(structure.version)) {
        refuse(messages::kNotATable, {hexByte(structure.version)});
    }
    const Layout& layout = dbf::usesLongLayout(structure.version) ? kLongLayout : kCommonLayout;
    if (size < layout.mainSize) {
        refuse(messages::kCutInHeader, {number(size), number(layout.mainSize)});
    }
    structure.headerLength = getLe(main, dbf::kHeaderLengthOffset, 2);
    structure.storedRecordLength = getLe(main, dbf::kRecordLengthOffset, 2);
    structure.storedRowCount = getLe(main, dbf::kRowCountOffset, 4);
    if (structure.headerLength > size) {
        refuse(messages::kHeaderBeyondFile, {number(structure.headerLength), number(size)});
    }

    // H is at most 65,535 bytes, so a table's whole header is read at once. Only when the terminator is not
    // within it is the file read on, as far as the most descriptors a header can hold, to say how long the
    // header should have been.
    std::vector<unsigned char> bytes(structure.headerLength, 0);
    file.readAt(0, bytes.data(), bytes.size());
    std::optional<std::size_t> count = countDescriptors(bytes, layout);
    if (!count) {
        const std::size_t most = layout.mainSize + layout.descriptorSize * std::size_t {dbf::kMaxFieldCount} + 1;
        bytes.assign(static_cast<std::size_t>(std::min<std::uint64_t>(size, most)), 0);
        file.readAt(0, bytes.data(), bytes.size());
        count = countDescriptors(bytes, layout);
    }
    if (!count) {
        refuse(messages::kNoDescriptorEnd);
    }
    if (*count == 0) {
        refuse(messages::kNoFields);
    }
    const std::size_t end = layout.mainSize + *count * layout.descriptorSize + 1;
    const auto headerEnd = bytes.begin() + static_cast<std::ptrdiff_t>(structure.headerLength);
    if (end > structure.headerLength
        || !std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(end), headerEnd,
                        [](unsigned char byte) { return byte == 0; })) {
        refuse(messages::kHeaderLengthMismatch,
               {number(structure.headerLength), static_cast<long long>(*count), static_cast<long long>(end)});
    }
    std::size_t offset = 1;
    structure.fields.reserve(*count);
    for (std::size_t i = 0; i < *count; ++i) {
        TableFieldDef field
            = readDescriptor(bytes.data() + layout.mainSize + i * layout.descriptorSize, i + 1, layout, refuse);
        field.offset = offset;
        offset += static_cast<std::size_t>(field.width);
        structure.fields.push_back(std::move(field));
    }
    bytes.resize(structure.headerLength);
    structure.header = std::move(bytes);
    return structure;
}

} // namespace storage
