#include "program_file.h"

#include "base/user_file.h"
#include "errors.h"
#include "messages.h"
#include "text/code_pages.h"
#include "text/utf8.h"

#include <algorithm>

namespace engine {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The lines of a text whose line ends are CR LF; a line end at the very end starts no line of its own.
std::size_t lineCount(std::string_view text)
{
    const auto ends = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    return ends + (text.empty() || text.back() == '\n' ? 0 : 1);
}

} // namespace

std::string normalizeLineEnds(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

ProgramFile decodeProgramFile(std::string_view bytes)
{
    ProgramFile file;
    const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; });
    // Plain ASCII stays code page 1250, the stations' encoding: the first Czech letter typed into such a
    // file must not turn it into UTF-8, which older stations sharing it would read wrongly.
    if (!ascii && text::isValidUtf8(bytes)) {
        file.encoding = TextEncoding::Utf8;
        if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
            bytes.remove_prefix(kByteOrderMark.size());
            file.encoding = TextEncoding::Utf8WithBom;
        }
        file.text = normalizeLineEnds(bytes);
    } else {
        file.text = normalizeLineEnds(text::codePage1250().decode(bytes));
    }
    return file;
}

std::string encodeProgramFile(std::string_view text, TextEncoding encoding)
{
    const std::string crlf = normalizeLineEnds(text);
    switch (encoding) {
    case TextEncoding::Utf8:
        return crlf;
    case TextEncoding::Utf8WithBom:
        return std::string(kByteOrderMark) + crlf;
    case TextEncoding::Cp1250:
        return text::codePage1250().encode(crlf);
    }
    return crlf;
}

ProgramFile loadProgramFile(const std::string& path)
{
    const std::optional<std::string> bytes = base::readUserFile(path, kMaxProgramFileSize);
    if (!bytes) {
        throw IoError(text::formatMessage(messages::kCannotOpenFile, {path}) + ": "
                      + text::formatMessage(messages::kLargerThanAnyProgram,
                                            {static_cast<long long>(kMaxProgramFileSize / 1024)}));
    }
    ProgramFile file = decodeProgramFile(*bytes);
    const std::size_t lines = lineCount(file.text);
    if (lines > kMaxProgramLines) {
        throw IoError(text::formatMessage(messages::kCannotOpenFile, {path}) + ": "
                      + text::formatMessage(messages::kMoreLinesThanAnyProgram,
                                            {static_cast<long long>(lines), static_cast<long long>(kMaxProgramLines)}));
    }
    return file;
}

void saveProgramFile(const std::string& path, std::string_view text, TextEncoding encoding)
{
    const std::string bytes = encodeProgramFile(text, encoding);
    // What is saved must load again: a program beyond the limits is refused here, with the old file kept.
    if (bytes.size() > kMaxProgramFileSize) {
        throw IoError(text::formatMessage(messages::kCannotCreateFile, {path}) + ": "
                      + text::formatMessage(messages::kLargerThanAnyProgram,
                                            {static_cast<long long>(kMaxProgramFileSize / 1024)}));
    }
    const std::size_t lines = lineCount(bytes);
    if (lines > kMaxProgramLines) {
        throw IoError(text::formatMessage(messages::kCannotCreateFile, {path}) + ": "
                      + text::formatMessage(messages::kMoreLinesThanAnyProgram,
                                            {static_cast<long long>(lines), static_cast<long long>(kMaxProgramLines)}));
    }
    base::replaceUserFile(path, bytes);
}

} // namespace engine
