#include "reliability/stored_rows.h"

#include "storage/dbf_table.h"
#include "storage/errors.h"
#include "text/messages.h"

#include <cstdio>
#include <fstream>
#include <sys/wait.h>

namespace reliability {

namespace {

using results::kFirstCount;
using results::kFirstList;
using results::kFirstMean;
using results::kFirstPremature;

// A list of reaction times as the evaluation writes them, long enough to fill most of its field.
std::string listFor(int station, int sequence, std::size_t series, bool listB)
{
    const std::string token
        = (listB ? "ž" : "") + std::to_string(sequence * 7 + station + static_cast<int>(series)) + "|";
    std::string list;
    while (list.size() + token.size() <= 200 + 10 * series) {
        list += token;
    }
    return list;
}

std::string digits(int value, std::size_t width)
{
    std::string text = std::to_string(value);
    return std::string(width > text.size() ? width - text.size() : 0, '0') + text;
}

std::string trimmed(const std::string& text)
{
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20U; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && blank(text[begin])) {
        ++begin;
    }
    while (end > begin && blank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

} // namespace

results::ResultRecord resultFor(int station, int sequence)
{
    results::ResultRecord record;
    record.values[results::kSurname] = "Dvořák " + std::to_string(station);
    record.values[results::kFirstName] = std::to_string(sequence);
    record.values[results::kBirthNumber1] = digits((station * 10000 + sequence) % 1000000, 6);
    record.values[results::kBirthNumber2] = digits(sequence % 10000, 4);
    record.values[results::kDate] = std::string(" 7.12.2026");
    for (std::size_t n = 0; n < static_cast<std::size_t>(results::kSeriesCount); ++n) {
        const int series = static_cast<int>(n);
        record.values[kFirstCount + n] = std::int64_t {(sequence + series) % 999};
        record.values[kFirstMean + n] = static_cast<double>(station * 100000 + sequence * 10 + series);
        record.values[kFirstPremature + n] = std::int64_t {(station + series) % 100};
        record.values[kFirstList + 2 * n] = listFor(station, sequence, n, false);
        record.values[kFirstList + 2 * n + 1] = listFor(station, sequence, n, true);
    }
    return record;
}

std::vector<storage::FieldValue> valuesFor(int station, int sequence)
{
    const results::ResultRecord record = resultFor(station, sequence);
    std::vector<storage::FieldValue> values(record.values.begin(), record.values.end());
    for (storage::FieldValue& value : values) {
        if (const auto* text = std::get_if<std::string>(&value)) {
            const std::string read = trimmed(*text);
            value = read.empty() ? storage::FieldValue {} : storage::FieldValue {read};
        }
    }
    return values;
}

ReadTable readTable(const std::string& path, std::uint32_t firstDecoded)
{
    ReadTable read;
    storage::TableOptions options;
    options.notice = [&read](const std::string& text) { read.notices.push_back(text); };
    auto table = storage::OpenTableFile(path, storage::OpenMode::ReadOnly, storage::IfMissing::Fail, {}, options);
    const auto& header = table->header();
    for (std::size_t i = 0; i < 4; ++i) {
        read.headerRowCount |= std::uint32_t {header.at(4 + i)} << (8 * i);
    }
    storage::RowBuffer row;
    for (std::uint32_t n = 1; n <= table->rowCount(); ++n) {
        table->loadRow(n, row);
        ReadRow out;
        out.flag = row.flag();
        for (const auto& field : table->fields()) {
            if (n >= firstDecoded) {
                out.values.push_back(storage::DecodeField(row, field));
            }
        }
        read.rows.push_back(std::move(out));
    }
    storage::CloseTableFile(table);
    return read;
}

std::string wholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(in ? static_cast<std::size_t>(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::string rowCountNotice(std::uint32_t stored, std::uint32_t actual)
{
    return text::formatMessage(storage::messages::kInvalidRecordCount,
                               {static_cast<long long>(stored), static_cast<long long>(actual)});
}

void configureStation(storage::Dataset& table, const std::string& directory)
{
    table.setDirectory(directory);
    table.setTableName(results::kResultsTableName);
    table.setDateSource([] { return base::LocalDate {2026, 12, 7}; });
}

std::vector<std::string> readWithDbfread(const std::string& path, int& status)
{
    const std::string command = "/usr/bin/python3 " RELIABILITY_DIR "/read_with_dbfread.py '" + path + "'";
    std::vector<std::string> lines;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return lines;
    }
    std::string line;
    for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe)) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    status = ::pclose(pipe);
    return lines;
}

std::string dbfreadLineFor(int station, int sequence)
{
    const results::ResultRecord record = resultFor(station, sequence);
    return std::get<std::string>(record.values[results::kSurname]) + "\t"
        + std::get<std::string>(record.values[results::kFirstName]) + "\t"
        + std::to_string(std::get<std::int64_t>(record.values[kFirstCount])) + "\t"
        + std::get<std::string>(record.values[kFirstList + 7]);
}

} // namespace reliability
