#include "program_file.h"

#include "errors.h"
#include "messages.h"
#include "text/code_pages.h"
#include "text/utf8.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace engine {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) {
        throw IoError(text::formatMessage(messages::kCannotOpenFile, {path}));
    }
    std::string bytes {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        throw IoError(text::formatMessage(messages::kCannotOpenFile, {path}));
    }
    return decodeProgramFile(bytes);
}

void saveProgramFile(const std::string& path, std::string_view text, TextEncoding encoding)
{
    const std::string bytes = encodeProgramFile(text, encoding);
    const std::filesystem::path target = std::filesystem::u8path(path);
    std::filesystem::path temporary = target;
    temporary += ".new";
    const auto fail = [&] {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw IoError(text::formatMessage(messages::kCannotCreateFile, {path}));
    };
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            fail();
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            fail();
        }
    }
    // Only a completely written file replaces the old program; the rename is atomic on one volume.
    std::error_code error;
    std::filesystem::rename(temporary, target, error);
    if (error) {
        fail();
    }
}

} // namespace engine
