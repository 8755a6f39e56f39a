#include "rtf/rtf_reader.h"
#include "text/code_pages.h"
#include "text/messages.h"
#include "text/utf8.h"

#include <string>
#include <string_view>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QTextDocument>

namespace rtf {

namespace {

[[noreturn]] void failToLoad()
{
    throw LoadError(text::messages::kFailedToLoadStream);
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
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        throw LoadError(text::formatMessage(text::messages::kCannotOpenFile, {path.toStdString()}));
    }
    if (file.size() > kMaxInstructionFileSize) {
        failToLoad();
    }
    // A device that reports no size (a pipe) is read only up to the limit, and one byte more to notice.
    QByteArray data = file.read(kMaxInstructionFileSize + 1);
    if (file.error() != QFileDevice::NoError || data.size() > kMaxInstructionFileSize) {
        failToLoad();
    }

    if (looksLikeRtf(data)) {
        readRtf(data, document);
        return;
    }
    if (data.endsWith('\x1A')) {
        data.chop(1);
    }
    if (isBinary(data)) {
        failToLoad();
    }
    document.setPlainText(decodePlainText(data));
}

} // namespace rtf
