// Any bytes as an instruction screen. The RTF reader never throws, and what it makes of the bytes can
// be laid out as the viewer does; the document grows no faster than the input. The same bytes as an
// instruction file either show or fail with the viewer's message naming the file, and leave the previous
// screen as it was.
#include "fuzz/fuzz_support.h"
#include "rtf/rtf_reader.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextDocument>

namespace {

// Fonts and layout need the GUI application object; the offscreen platform needs no display.
void ensureApplication()
{
    static int argc = 1;
    static char name[] = "rtf_reader_fuzzer";
    static char* argv[] = {name, nullptr};
    if (QGuiApplication::instance() == nullptr) {
        // Font warnings about odd scripts would drown the fuzzer's own output; fatal messages still abort.
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtFatalMsg) {
                std::fprintf(stderr, "%s\n", qPrintable(message));
                std::abort();
            }
        });
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QGuiApplication(argc, argv); // lives until the process ends, like the program's own
    }
}

const QString& instructionPath()
{
    static const QTemporaryDir directory;
    static const QString path = directory.filePath(QStringLiteral("tivora1.rtf"));
    return path;
}

void readAsInstructionFile(QByteArrayView bytes)
{
    QFile file(instructionPath());
    fuzz::require(file.open(QIODevice::WriteOnly | QIODevice::Truncate)
                      && file.write(bytes.data(), bytes.size()) == bytes.size(),
                  "the instruction file can be written");
    file.close();
    QTextDocument document;
    document.setPlainText(QStringLiteral("previous screen"));
    try {
        rtf::readInstructionFile(instructionPath(), document);
    } catch (const rtf::LoadError& error) {
        const std::string expected
            = "Failed to Load Stream: file " + instructionPath().toStdString() + " is neither rich text nor plain text";
        fuzz::require(error.what() == expected, "a bad file fails to load, named");
        fuzz::require(document.toPlainText() == QStringLiteral("previous screen"), "a failed load keeps the screen");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ensureApplication();
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QTextDocument document;
    rtf::readRtf(bytes, document);
    // Every character shown comes from at least a few bytes of input; list numbers and cell ends add a
    // little per paragraph.
    fuzz::require(document.characterCount() <= 8 * static_cast<int>(size) + 64, "the document stays small");
    document.setTextWidth(600);
    fuzz::require(document.size().isValid(), "the screen can be laid out");
    if (!rtf::looksLikeRtf(bytes)) {
        readAsInstructionFile(bytes); // rich text takes the path above again
    }
    return 0;
}
