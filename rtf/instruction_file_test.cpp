#include "base/hostile_files_test.h"
#include "rtf/rtf_reader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

class InstructionFileTest : public QObject
{
    Q_OBJECT

private slots:
    void readsRtfAndPlainText_data();
    void readsRtfAndPlainText();
    void refusesWhatIsNotText_data();
    void refusesWhatIsNotText();
    void refusesOversizedFile();
    void reportsFileThatCannotBeOpened();
    void refusesWhatIsNoFile_data();
    void refusesWhatIsNoFile();
    void rtfFileKeepsItsFormatting();
    void plainTextDropsEarlierFormatting();

private:
    QString write(const QByteArray& content)
    {
        const QString path = m_dir.filePath(QStringLiteral("instrukce.rtf"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size()) {
            qFatal("cannot write the test file");
        }
        return path;
    }

    // The message of the LoadError that reading `path` throws; empty when it throws none.
    static QString failureOf(const QString& path, QTextDocument& document)
    {
        try {
            rtf::readInstructionFile(path, document);
        } catch (const rtf::LoadError& error) {
            return QString::fromUtf8(error.what());
        }
        return QString();
    }

    QTemporaryDir m_dir;
};

void InstructionFileTest::readsRtfAndPlainText_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("text");
    QTest::newRow("rtf") << QByteArray(R"({\rtf1 a\par b})") << QStringLiteral("a\nb");
    QTest::newRow("rtf after white space") << QByteArray(" \r\n\t{\\rtf1 a}") << QStringLiteral("a");
    QTest::newRow("rtf after a byte order mark") << QByteArray("\xEF\xBB\xBF{\\rtf1 a}") << QStringLiteral("a");
    QTest::newRow("rtf only later is text") << QByteArray("x {\\rtf1 a}") << QStringLiteral("x {\\rtf1 a}");
    QTest::newRow("utf-8 with LF") << QByteArray("Příliš\nžluťoučký") << QStringLiteral("Příliš\nžluťoučký");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringLiteral("a\nb\n");
    QTest::newRow("CR") << QByteArray("a\rb") << QStringLiteral("a\nb");
    QTest::newRow("code page 1250") << QByteArray("P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2")
                                    << QStringLiteral("Příliš žluťoučký kůň");
    QTest::newRow("byte order mark dropped") << QByteArray("\xEF\xBB\xBF"
                                                           "ahoj")
                                             << QStringLiteral("ahoj");
    QTest::newRow("Ctrl-Z at the end dropped") << QByteArray("ahoj\x1A") << QStringLiteral("ahoj");
    QTest::newRow("TAB and FF kept") << QByteArray("a\tb\fc") << QStringLiteral("a\tb\fc");
    QTest::newRow("empty file") << QByteArray() << QString();
}

void InstructionFileTest::readsRtfAndPlainText()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, text);
    QTextDocument document;
    rtf::readInstructionFile(write(content), document);
    QCOMPARE(document.toPlainText(), text);
}

void InstructionFileTest::refusesWhatIsNotText_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("NUL byte") << QByteArray("abc\0def", 7);
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFE"
                                          "a\0h\0",
                                          6);
    QTest::newRow("escape sequence") << QByteArray("a\x1B[0m");
    QTest::newRow("Ctrl-Z inside") << QByteArray("a\x1A"
                                                 "b");
    QTest::newRow("DEL") << QByteArray("a\x7F");
    QTest::newRow("picture") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
}

// The document keeps what it showed: the viewer is not shown after a failure, but must not be left empty.
void InstructionFileTest::refusesWhatIsNotText()
{
    QFETCH(QByteArray, content);
    QTextDocument document;
    document.setPlainText(QStringLiteral("previous"));
    const QString path = write(content);
    QCOMPARE(failureOf(path, document),
             QStringLiteral("Failed to Load Stream: file %1 is neither rich text nor plain text").arg(path));
    QCOMPARE(document.toPlainText(), QStringLiteral("previous"));
}

void InstructionFileTest::refusesOversizedFile()
{
    const QString path = write(QByteArray(R"({\rtf1 a})"));
    QFile file(path);
    QVERIFY(file.resize(rtf::kMaxInstructionFileSize + 1)); // sparse: nothing that large is written
    QTextDocument document;
    QCOMPARE(failureOf(path, document),
             QStringLiteral("Failed to Load Stream: file %1 is larger than 16 MB, more than any instruction screen")
                 .arg(path));
    QVERIFY(document.isEmpty());
}

void InstructionFileTest::reportsFileThatCannotBeOpened()
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("previous"));
    const QString missing = m_dir.filePath(QStringLiteral("chybí.rtf"));
    QCOMPARE(failureOf(missing, document), QStringLiteral("Cannot open file ") + missing);
    QCOMPARE(document.toPlainText(), QStringLiteral("previous"));
}

void InstructionFileTest::refusesWhatIsNoFile_data()
{
    QTest::addColumn<int>("row");
    const auto files = base::testing::hostileFiles();
    for (std::size_t i = 0; i < files.size(); ++i) {
        QTest::newRow(files[i].kind) << static_cast<int>(i);
    }
}

// A pipe would keep the test waiting for ever, a device would fill the memory: each is refused at once,
// with what it is.
void InstructionFileTest::refusesWhatIsNoFile()
{
    QFETCH(int, row);
    const base::testing::HostileFile file = base::testing::hostileFiles().at(static_cast<std::size_t>(row));
    QTemporaryDir folder;
    // Open to all, so that a user without rights is refused by the file and not by the folder.
    QVERIFY(QFile::setPermissions(folder.path(), QFile::permissions(folder.path()) | QFile::ExeOther));
    const std::string path = file.make(folder.path().toStdString());
    QTextDocument document;
    document.setPlainText(QStringLiteral("previous"));
    const std::string message = base::testing::failureOf(
        [&] { rtf::readInstructionFile(QString::fromStdString(path), document); }, file.unprivileged);
    QCOMPARE(message, "Cannot open file " + path + ": " + file.reason);
    QCOMPARE(document.toPlainText(), QStringLiteral("previous"));
}

void InstructionFileTest::rtfFileKeepsItsFormatting()
{
    QTextDocument document;
    rtf::readInstructionFile(QStringLiteral(RTF_TESTDATA_DIR "/wordpad_konec.rtf"), document);
    QVERIFY(document.toPlainText().startsWith(QStringLiteral("Děkujeme, test je ukončen.\n\n")));
    QCOMPARE(document.begin().charFormat().fontWeight(), int(QFont::Bold));
}

void InstructionFileTest::plainTextDropsEarlierFormatting()
{
    QTextDocument document;
    rtf::readInstructionFile(write(QByteArray(R"({\rtf1\qc\b a})")), document);
    rtf::readInstructionFile(write(QByteArray("b")), document);
    QCOMPARE(document.toPlainText(), QStringLiteral("b"));
    QCOMPARE(document.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    QVERIFY(document.begin().charFormat().fontWeight() != QFont::Bold);
}

QTEST_MAIN(InstructionFileTest)
#include "instruction_file_test.moc"
