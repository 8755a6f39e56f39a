#include "audit/journal_csv.h"

#include <algorithm>

namespace audit {

namespace {

bool isControl(unsigned char byte)
{
    return byte < 0x20U || byte == 0x7FU;
}

std::string escaped(std::string_view text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (isControl(byte)) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0FU];
        } else {
            out += c;
        }
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string at(std::size_t position, const char* what)
{
    return std::string(what) + " at byte " + std::to_string(position + 1);
}

// Undoes escaped() on value number `column` (1-based) of its line. Returns the reason on failure.
std::string unescape(std::string_view value, std::size_t column, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        const char next = i + 1 < value.size() ? value[i + 1] : '\0';
        if (next == '\\' || next == 'r' || next == 'n') {
            out += next == '\\' ? '\\' : next == 'r' ? '\r' : '\n';
            ++i;
        } else if (next == 'x' && i + 3 < value.size() && hexValue(value[i + 2]) >= 0 && hexValue(value[i + 3]) >= 0) {
            out += static_cast<char>(hexValue(value[i + 2]) * 16 + hexValue(value[i + 3]));
            i += 3;
        } else {
            return "an unknown escape in value " + std::to_string(column);
        }
    }
    return {};
}

// Reads the value that begins at `pos` into `raw`, its quotes undone but not its escapes, and leaves `pos`
// at the comma after it or the line's end. Returns the reason when the value is malformed.
std::string rawValue(std::string_view line, std::size_t& pos, std::string& raw)
{
    raw.clear();
    if (pos >= line.size() || line[pos] != '"') {
        const std::size_t end = std::min(line.find(',', pos), line.size());
        raw.assign(line.substr(pos, end - pos));
        if (const std::size_t quote = raw.find('"'); quote != std::string::npos) {
            return at(pos + quote, "a quote inside an unquoted value");
        }
        pos = end;
        return {};
    }
    const std::size_t start = pos;
    for (++pos; pos < line.size(); ++pos) {
        if (line[pos] != '"') {
            raw += line[pos];
        } else if (pos + 1 < line.size() && line[pos + 1] == '"') {
            raw += '"';
            ++pos;
        } else {
            ++pos;
            return pos < line.size() && line[pos] != ',' ? at(pos, "text after a closing quote") : std::string();
        }
    }
    return at(start, "a quoted value that is not closed");
}

} // namespace

void appendValue(std::string& line, std::string_view text)
{
    const std::string value = escaped(text);
    const bool quoted = value.find_first_of(",\"") != std::string::npos
        || (!value.empty() && (value.front() == ' ' || value.back() == ' '));
    if (!quoted) {
        line += value;
        return;
    }
    line += '"';
    for (const char c : value) {
        line += c;
        if (c == '"') {
            line += '"';
        }
    }
    line += '"';
}

std::string splitValues(std::string_view line, std::vector<std::string>& values)
{
    values.clear();
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (isControl(static_cast<unsigned char>(line[i]))) {
            return at(i, "a control byte");
        }
    }
    std::string raw;
    std::string value;
    for (std::size_t pos = 0;; ++pos) { // ++pos: past the comma
        std::string reason = rawValue(line, pos, raw);
        if (reason.empty()) {
            reason = unescape(raw, values.size() + 1, value);
        }
        if (!reason.empty()) {
            return reason;
        }
        values.push_back(value);
        if (pos >= line.size()) {
            return {};
        }
    }
}

} // namespace audit
