#include "base/user_file.h"
#include "rtf/rtf_reader.h"
#include "text/code_pages.h"
#include "text/messages.h"
#include "text/utf8.h"

#include <optional>
#include <string>
#include <string_view>

#include <QTextDocument>

namespace rtf {

namespace {

// Why a file that could be read is not shown, after the platform's standard text.
constexpr const char* kLargerThanAnyScreen = "%s: file %s is larger than %d MB, more than any instruction screen";
constexpr const char* kNeitherRtfNorText = "%s: file %s is neither rich text nor plain text";

[[noreturn]] void failToLoad(const char* pattern, const std::string& path)
{
    throw LoadError(text::formatMessage(
        pattern, {text::messages::kFailedToLoadStream, path, static_cast<long long>(kMaxInstructionFileSize >> 20)}));
}

// Text files hold no control characters but TAB, LF, FF and CR; anything else means the file is not text.
bool isBinary(QByteArrayView data)
{
    for (const char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\f' && byte != '\r') || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

QString decodePlainText(QByteArrayView data)
{
    const std::string_view bytes(data.data(), static_cast<std::size_t>(data.size()));
    QString text = text::isValidUtf8(bytes) ? QString::fromUtf8(data)
                                            : QString::fromStdString(text::codePage1250().decode(bytes));
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

void readInstructionFile(const QString& path, QTextDocument& document)
{
    const std::string name = path.toStdString();
    std::optional<std::string> read;
    try {
        read = base::readUserFile(name, static_cast<std::uint64_t>(kMaxInstructionFileSize));
    } catch (const base::FileError& error) {
        throw LoadError(error.what());
    }
    if (!read) {
        failToLoad(kLargerThanAnyScreen, name);
    }
    QByteArrayView data(read->data(), static_cast<qsizetype>(read->size()));
    if (looksLikeRtf(data)) {
        readRtf(data, document);
        return;
    }
    if (data.endsWith('\x1A')) {
        data.chop(1);
    }
    if (isBinary(data)) {
        failToLoad(kNeitherRtfNorText, name);
    }
    document.setPlainText(decodePlainText(data));
}

} // namespace rtf
