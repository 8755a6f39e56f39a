// Writes and reads tables for the checks with other programs (tools/e2e/storage_interop.py).
//
//   interop_tool write <path>   writes the fixed sample table the checker expects
//   interop_tool dump <path>    prints every visible row of any table as one JSON object per line
#include "results/results_table.h"
#include "storage/dataset.h"
#include "storage/errors.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

using storage::FieldValue;

// Rows of the sample: surname, first name, POC_1SER, PRUMER1, POC_PRED1, SER1A. The third is deleted
// after writing; the checker expects the others.
struct SampleRow
{
    const char* surname;
    const char* firstName;
    std::int64_t count;
    double mean;
    std::int64_t premature;
    const char* list;
};

constexpr SampleRow kSample[] = {
    {"Příliš žluťoučký", "Kůň", 20, 312.5, 0, "312|298|305|"},
    {"Šťastná", "Ďáblice", -99, -250.5, -5, "1|"},
    {"Smazaný", "Řádek", 1, 1.0, 1, ""},
    {"Ěščřžýáíé", "ŮÚŤŇÓ", 999, 99999999.0, 999, "65535|"},
    {"Velký", "Exponent", 0, 2.5e8, 0, "x"},
};

int writeSample(const std::string& path)
{
    const auto slash = path.rfind('/');
    storage::Dataset table("Table1", path.substr(slash == std::string::npos ? 0 : slash + 1));
    table.setDirectory(slash == std::string::npos ? std::string() : path.substr(0, slash + 1),
                       std::filesystem::current_path().string());
    table.setFieldDefsForCreate(results::resultTableFields());
    for (const SampleRow& row : kSample) {
        results::ResultRecord record;
        record.values[results::kSurname] = std::string(row.surname);
        record.values[results::kFirstName] = std::string(row.firstName);
        record.values[results::kBirthNumber1] = std::string(" 12345");
        record.values[results::kBirthNumber2] = std::string("6789");
        record.values[results::kDate] = std::string(" 7.12.2026");
        for (std::size_t i = results::kFirstCount; i < results::kFirstList; ++i) {
            record.values[i] = std::int64_t {0};
        }
        record.values[results::kFirstCount] = row.count;
        record.values[results::kFirstMean] = row.mean;
        record.values[results::kFirstPremature] = row.premature;
        for (std::size_t i = results::kFirstList; i < results::kResultFieldCount; ++i) {
            record.values[i] = std::string();
        }
        record.values[results::kFirstList] = std::string(row.list);
        results::ulo_do_DBF(table, record);
    }
    table.open();
    table.moveBy(2);
    table.deleteRow();
    table.close();
    return 0;
}

std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string jsonValue(const FieldValue& value)
{
    if (storage::isNull(value)) {
        return "null";
    }
    if (const auto* text = std::get_if<std::string>(&value)) {
        return jsonString(*text);
    }
    if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        return std::to_string(*whole);
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", std::get<double>(value));
    return buffer;
}

int dump(const std::string& path)
{
    const auto slash = path.rfind('/');
    storage::Dataset table("Table1", path.substr(slash == std::string::npos ? 0 : slash + 1));
    table.setDirectory(slash == std::string::npos ? std::string() : path.substr(0, slash + 1),
                       std::filesystem::current_path().string());
    table.setReadOnly(true);
    table.setNoticeHandler([](const std::string& notice) { std::cerr << "notice: " << notice << "\n"; });
    table.open();
    for (table.first(); !table.isEmpty() && !table.eof(); table.next()) {
        std::string line = "{";
        const auto values = table.values();
        for (std::size_t i = 0; i < values.size(); ++i) {
            line += (i ? ", " : "") + jsonString(table.fields()[i].name) + ": " + jsonValue(values[i]);
        }
        std::cout << line << "}\n";
    }
    table.close();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: interop_tool write|dump <path>\n";
        return 2;
    }
    try {
        const std::string mode = argv[1];
        if (mode == "write") {
            return writeSample(argv[2]);
        }
        if (mode == "dump") {
            return dump(argv[2]);
        }
    } catch (const std::exception& error) {
        std::cerr << "error: " << error.what() << "\n";
        return 1;
    }
    std::cerr << "unknown mode\n";
    return 2;
}
