#include "rtf/rtf_reader.h"

#include <random>

#include <QColor>
#include <QFile>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

QByteArray testData(const QString& name)
{
    QFile file(QStringLiteral(RTF_TESTDATA_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("missing test data");
    }
    return file.readAll();
}

// The text the sample's .txt file holds, without the line end after its last line.
QString expectedText(const QString& sample)
{
    QString text = QString::fromUtf8(testData(sample + QStringLiteral(".txt")));
    while (text.endsWith(QLatin1Char('\n'))) {
        text.chop(1);
    }
    return text;
}

struct Sample
{
    QTextDocument document;

    explicit Sample(const QString& name) { rtf::readRtf(testData(name + QStringLiteral(".rtf")), document); }

    // The fragment holding `text` (whole, as one run of one format); the `occurrence`-th one counting from 0.
    QTextFragment fragment(const QString& text, int occurrence = 0) const
    {
        for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                if (it.fragment().text().contains(text) && occurrence-- == 0) {
                    return it.fragment();
                }
            }
        }
        qWarning() << "no fragment holds" << text;
        return QTextFragment();
    }
    QTextCharFormat format(const QString& text, int occurrence = 0) const
    {
        return fragment(text, occurrence).charFormat();
    }
    QTextBlockFormat block(const QString& text) const { return document.find(text).block().blockFormat(); }
};

QColor colourOf(const QTextCharFormat& format)
{
    return format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color() : QColor();
}

bool isBold(const QTextCharFormat& format)
{
    return format.fontWeight() == QFont::Bold;
}

Qt::Alignment alignmentOf(const QTextBlockFormat& format)
{
    return format.alignment() & Qt::AlignHorizontal_Mask;
}

QString readToText(const QByteArray& rtf)
{
    QTextDocument document;
    rtf::readRtf(rtf, document);
    return document.toPlainText();
}

constexpr double kPixelsPerTwip = 1.0 / 15.0;

} // namespace

class ReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void samplesShowTheirPlainText_data();
    void samplesShowTheirPlainText();
    void libreOfficeFormatting();
    void pandocFormatting();
    void abiWordFormatting();
    void wordPadFormatting();
    void handWrittenInput_data();
    void handWrittenInput();
    void colourTableWithAndWithoutAutomaticEntry();
    void hostileInputStaysBounded_data();
    void hostileInputStaysBounded();
    void damagedSamplesNeverCrash();
    void replacesTheWholeDocument();
};

void ReaderTest::samplesShowTheirPlainText_data()
{
    QTest::addColumn<QString>("sample");
    for (const char* name :
         {"lo_instrukce", "pandoc_nacvik", "pandoc_tabulka", "abiword_hlavni_test", "wordpad_konec"}) {
        QTest::newRow(name) << QString::fromLatin1(name);
    }
}

void ReaderTest::samplesShowTheirPlainText()
{
    QFETCH(QString, sample);
    const Sample read(sample);
    QCOMPARE(read.document.toPlainText(), expectedText(sample));
}

void ReaderTest::libreOfficeFormatting()
{
    const Sample lo(QStringLiteral("lo_instrukce"));
    const QTextCharFormat title = lo.format(QStringLiteral("Instrukce"));
    QVERIFY(isBold(title));
    QCOMPARE(title.fontPointSize(), 20.0);
    QCOMPARE(alignmentOf(lo.block(QStringLiteral("Instrukce"))), Qt::AlignHCenter);

    const QTextCharFormat body = lo.format(QStringLiteral("pane,"));
    QCOMPARE(body.fontFamilies().toStringList(), QStringList {QStringLiteral("Arial")});
    QCOMPARE(body.fontPointSize(), 12.0);
    QVERIFY(!isBold(body));
    QVERIFY(!body.hasProperty(QTextFormat::ForegroundBrush)); // \cf0 is the empty first entry: automatic

    const QTextCharFormat square = lo.format(QStringLiteral("bílý čtverec"));
    QVERIFY(isBold(square));
    QCOMPARE(colourOf(square), QColor(255, 0, 0));
    QVERIFY(lo.format(QStringLiteral("Enter"), 0).fontUnderline());
    QVERIFY(!lo.format(QStringLiteral(", stiskněte")).fontUnderline());

    const QString warning = QStringLiteral("Nestiskněte klávesu dřív");
    QVERIFY(lo.format(warning).fontItalic());
    QCOMPARE(lo.block(warning).leftMargin(), 709 * kPixelsPerTwip);

    const QTextBlockFormat item = lo.block(QStringLiteral("Nedívejte se"));
    QCOMPARE(item.leftMargin(), 720 * kPixelsPerTwip);
    QCOMPARE(item.textIndent(), -360 * kPixelsPerTwip);
    QCOMPARE(item.tabPositions().value(0).position, 360 * kPixelsPerTwip); // the hanging indent, from the bullet
    QCOMPARE(lo.block(QStringLiteral("Počet zkušebních")).tabPositions().value(0).position, 2835 * kPixelsPerTwip);

    QVERIFY(isBold(lo.format(QStringLiteral("Nejprve si test"))));
    QVERIFY(!isBold(lo.format(QStringLiteral("Zkušební pokusy se"))));
    QVERIFY(lo.document.find(QStringLiteral("Nejprve")).block().text().contains(QChar(QChar::LineSeparator)));

    const QString closing = QStringLiteral("Pro pokračování stiskněte Enter.");
    QCOMPARE(colourOf(lo.format(closing)), QColor(0, 0, 255));
    QCOMPARE(lo.format(closing).fontPointSize(), 10.0);
    QCOMPARE(alignmentOf(lo.block(closing)), Qt::AlignHCenter);
    QCOMPARE(lo.block(closing).topMargin(), 227 * kPixelsPerTwip);
}

void ReaderTest::pandocFormatting()
{
    const Sample pandoc(QStringLiteral("pandoc_nacvik"));
    const QTextCharFormat heading = pandoc.format(QStringLiteral("Zkušební pokusy"));
    QVERIFY(isBold(heading));
    QCOMPARE(heading.fontPointSize(), 18.0);
    QCOMPARE(alignmentOf(pandoc.block(QStringLiteral("Zkušební pokusy"))), Qt::AlignLeft);

    const QTextCharFormat body = pandoc.format(QStringLiteral("Nejprve si test"));
    QCOMPARE(body.fontPointSize(), 12.0); // no \fs at all: the RTF default
    QVERIFY(!isBold(body));
    QCOMPARE(body.fontFamilies().toStringList(), QStringList {QStringLiteral("Helvetica")});
    QVERIFY(isBold(pandoc.format(QStringLiteral("bílý čtverec"), 0)));
    QVERIFY(!isBold(pandoc.format(QStringLiteral("bílý čtverec"), 1))); // the group ended the bold
    QVERIFY(pandoc.format(QStringLiteral("Enter"), 0).fontItalic());

    const QTextCharFormat nested = pandoc.format(QStringLiteral("nepočítají"));
    QVERIFY(isBold(nested) && nested.fontItalic());
    QCOMPARE(pandoc.block(QStringLiteral("nepočítají")).leftMargin(), 720 * kPixelsPerTwip);
    const QTextBlockFormat item = pandoc.block(QStringLiteral("Polo"));
    QCOMPARE(item.textIndent(), -360 * kPixelsPerTwip);
    QCOMPARE(item.tabPositions().size(), 1); // \tx360 and the hanging indent are one stop
    QCOMPARE(item.tabPositions().value(0).position, 360 * kPixelsPerTwip);
    QVERIFY(!pandoc.document.toPlainText().contains(QLatin1Char('?'))); // every \uN? fallback skipped

    // A table's cells keep their character formatting on the row's one line.
    const Sample table(QStringLiteral("pandoc_tabulka"));
    QVERIFY(isBold(table.format(QStringLiteral("měří se"), 0)));
    QVERIFY(!isBold(table.format(QStringLiteral("měří se"), 1)));
    QVERIFY(!isBold(table.format(QStringLiteral("Nácvik"))));
}

void ReaderTest::abiWordFormatting()
{
    const Sample abi(QStringLiteral("abiword_hlavni_test"));
    const QTextCharFormat title = abi.format(QStringLiteral("Hlavní test"));
    QVERIFY(isBold(title));
    QCOMPARE(title.fontPointSize(), 22.0);
    QCOMPARE(alignmentOf(abi.block(QStringLiteral("Hlavní test"))), Qt::AlignHCenter);

    const QTextCharFormat body = abi.format(QStringLiteral("skončily"));
    QCOMPARE(body.fontFamilies().toStringList(), QStringList {QStringLiteral("Nimbus Roman")});
    QCOMPARE(body.fontPointSize(), 12.0);
    const QTextCharFormat measuring = abi.format(QStringLiteral("vlastní měření"));
    QVERIFY(isBold(measuring));
    QCOMPARE(colourOf(measuring), QColor(255, 0, 0));
    QVERIFY(abi.format(QStringLiteral("Enter"), 0).fontUnderline());

    const QString early = QStringLiteral("Pokud stisknete");
    QVERIFY(abi.format(early).fontItalic());
    QCOMPARE(abi.block(early).leftMargin(), 1440 * kPixelsPerTwip);

    QCOMPARE(abi.document.find(QStringLiteral("Sledujte")).block().text().left(3), QStringLiteral("1.\t"));
    QCOMPARE(abi.document.find(QStringLiteral("Mezi")).block().text().left(3), QStringLiteral("3.\t"));
    QCOMPARE(colourOf(abi.format(QStringLiteral("bílý čtverec"), 1)), QColor(0, 0, 255));

    const QString closing = QStringLiteral("Pro pokračování stiskněte Enter.");
    QCOMPARE(abi.format(closing).fontPointSize(), 10.0);
    QCOMPARE(alignmentOf(abi.block(closing)), Qt::AlignHCenter);
}

void ReaderTest::wordPadFormatting()
{
    const Sample pad(QStringLiteral("wordpad_konec"));
    const QString thanks = QStringLiteral("Děkujeme, test je ukončen.");
    QVERIFY(isBold(pad.format(thanks)));
    QCOMPARE(pad.format(thanks).fontPointSize(), 16.0);
    QCOMPARE(pad.format(thanks).fontFamilies().toStringList(), QStringList {QStringLiteral("Arial CE")});
    QCOMPARE(alignmentOf(pad.block(thanks)), Qt::AlignHCenter);
    QCOMPARE(pad.document.findBlockByNumber(1).charFormat().fontPointSize(), 10.0); // the empty paragraph

    QVERIFY(!isBold(pad.format(QStringLiteral("Vaše výsledky"))));
    QCOMPARE(pad.format(QStringLiteral("Vaše výsledky")).fontPointSize(), 12.0);
    QVERIFY(isBold(pad.format(QStringLiteral("examinátor"))));
    QCOMPARE(colourOf(pad.format(QStringLiteral("examinátor"))), QColor(255, 0, 0));
    QVERIFY(!isBold(pad.document.find(QStringLiteral("examinátor.")).charFormat())); // \b0 ended the bold

    QVERIFY(pad.format(QStringLiteral("Zůstaňte")).fontItalic());
    QCOMPARE(pad.block(QStringLiteral("Zůstaňte")).leftMargin(), 720 * kPixelsPerTwip);

    // Byte B7 of the Symbol font is the bullet, not code page 1250's middle dot.
    const QTextBlock bullet = pad.document.find(QStringLiteral("Nevypínejte")).block();
    QCOMPARE(bullet.text().left(2), QStringLiteral("\u2022\t"));
    QCOMPARE(bullet.blockFormat().textIndent(), -720 * kPixelsPerTwip);

    const QString closing = QStringLiteral("Pro ukončení stiskněte Enter.");
    const QTextCharFormat format = pad.format(closing);
    QCOMPARE(colourOf(format), QColor(0, 0, 255));
    QVERIFY(format.fontUnderline());
    QCOMPARE(format.fontPointSize(), 10.0);
    QCOMPARE(alignmentOf(pad.block(closing)), Qt::AlignHCenter);
}

void ReaderTest::handWrittenInput_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");

    // Unicode and its fallbacks
    QTest::newRow("uc0: nothing to skip") << QByteArray(R"({\rtf1\uc0 a\u269 b})") << QStringLiteral("ačb");
    QTest::newRow("uc2: two hex fallbacks") << QByteArray(R"({\rtf1\uc2 a\u269\'e8\'e8b})") << QStringLiteral("ačb");
    QTest::newRow("uc2: two text fallbacks") << QByteArray(R"({\rtf1\uc2\u269 xyb})") << QStringLiteral("čb");
    QTest::newRow("uc ends with its group") << QByteArray(R"({\rtf1{\uc0\u269 x}\u269?y})") << QStringLiteral("čxčy");
    QTest::newRow("fallback stops at a group") << QByteArray(R"({\rtf1\uc3\u269{a}})") << QStringLiteral("ča");
    QTest::newRow("negative u") << QByteArray(R"({\rtf1\u-255?})") << QStringLiteral("\uFF01");
    QTest::newRow("surrogate pair") << QByteArray(R"({\rtf1\u-10179?\u-8704?})") << QStringLiteral("\U0001F600");
    QTest::newRow("symbol font private use")
        << QByteArray(R"({\rtf1{\fonttbl{\f1\fcharset2 Symbol;}}{\f1\u-3913 ?}})") << QStringLiteral("\u2022");

    // Code pages
    QTest::newRow("hex in 1250") << QByteArray(R"({\rtf1\ansi\ansicpg1250 \'e8\'ec})") << QStringLiteral("čě");
    QTest::newRow("hex in 1252") << QByteArray(R"({\rtf1\ansi\ansicpg1252 \'e8\'ec})") << QStringLiteral("èì");
    QTest::newRow("hex without ansicpg") << QByteArray(R"({\rtf1\ansi \'e8})") << QStringLiteral("è");
    QTest::newRow("font charset wins") << QByteArray(
        R"({\rtf1\ansicpg1252{\fonttbl{\f0\fcharset238 Arial CE;}}\f0 \'e8})")
                                       << QStringLiteral("č");
    QTest::newRow("hex in 1251") << QByteArray(R"({\rtf1\ansicpg1251 \'c0})") << QStringLiteral("А");

    // Destinations
    QTest::newRow("unknown starred destination") << QByteArray(R"({\rtf1 a{\*\foo b{c}d}e})") << QStringLiteral("ae");
    QTest::newRow("known destination unstarred")
        << QByteArray(R"({\rtf1 a{\info{\title T}}b})") << QStringLiteral("ab");
    QTest::newRow("unknown word ignored") << QByteArray(R"({\rtf1 a\foo b})") << QStringLiteral("ab");
    QTest::newRow("hidden text") << QByteArray(R"({\rtf1 a{\v hidden}b})") << QStringLiteral("ab");
    QTest::newRow("field shows its result")
        << QByteArray(R"({\rtf1{\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}}})") << QStringLiteral("link");
    QTest::newRow("bin skips braces") << QByteArray(R"({\rtf1 a{\pict\bin4 {{{{}b})") << QStringLiteral("ab");
    QTest::newRow("bin in text") << QByteArray(R"({\rtf1 a\bin3 }}}b})") << QStringLiteral("ab");
    QTest::newRow("bin past the end") << QByteArray(R"({\rtf1 a\bin999 xyz)") << QStringLiteral("a");

    // Braces
    QTest::newRow("extra closing brace") << QByteArray(R"({\rtf1 {a}}}b})") << QStringLiteral("a");
    QTest::newRow("missing closing brace") << QByteArray(R"({\rtf1 a{\b b)") << QStringLiteral("ab");
    QTest::newRow("text before the document") << QByteArray(R"(x}{\rtf1 a})") << QStringLiteral("a");
    QTest::newRow("nesting at the limit")
        << QByteArray("{\\rtf1 a" + QByteArray(998, '{') + "x" + QByteArray(998, '}') + "b}") << QStringLiteral("axb");
    QTest::newRow("nesting past the limit")
        << QByteArray("{\\rtf1 a" + QByteArray(1500, '{') + "x" + QByteArray(1500, '}') + "b}") << QStringLiteral("ab");

    // Characters and breaks
    QTest::newRow("escaped symbols") << QByteArray(R"({\rtf1 \{\}\\})") << QStringLiteral("{}\\");
    QTest::newRow("typographic words") << QByteArray(
        R"({\rtf1 \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})")
                                       << QStringLiteral("—–•‘’“”");
    QTest::newRow("non-breaking space and hyphens")
        << QByteArray(R"({\rtf1 a\~b\_c\-d})") << QStringLiteral("a b\u2011c\u00ADd");
    QTest::newRow("line and paragraph") << QByteArray(R"({\rtf1 a\line b\par c})") << QStringLiteral("a\nb\nc");
    QTest::newRow("backslash line end is par") << QByteArray("{\\rtf1 a\\\nb}") << QStringLiteral("a\nb");
    QTest::newRow("source line ends ignored") << QByteArray("{\\rtf1 a\r\nb\rc\nd}") << QStringLiteral("abcd");
    QTest::newRow("control bytes dropped") << QByteArray("{\\rtf1 a\0b\x01\tc}", 15) << QStringLiteral("ab\tc");
    QTest::newRow("delimiter space only once") << QByteArray(R"({\rtf1\b  a})") << QStringLiteral(" a");
    QTest::newRow("blank paragraphs at the end") << QByteArray(R"({\rtf1 a\par\par \tab\par})") << QStringLiteral("a");
    QTest::newRow("blank paragraph inside kept") << QByteArray(R"({\rtf1 a\par\par b})") << QStringLiteral("a\n\nb");
    QTest::newRow("table row") << QByteArray(R"({\rtf1\trowd\cellx9\pard\intbl A\cell B\cell\row C\par})")
                               << QStringLiteral("A\tB\nC");
    QTest::newRow("empty cells") << QByteArray(R"({\rtf1\intbl A\cell\cell C\cell\row})") << QStringLiteral("A\t\tC");
    QTest::newRow("paragraphs in cells") << QByteArray(R"({\rtf1\trowd\intbl{{\pard\intbl A\par}\cell}{{\pard\intbl)"
                                                       R"( B\par}\cell}\intbl\row{\pard C\par}})")
                                         << QStringLiteral("A\tB\nC");
    QTest::newRow("two paragraphs in one cell")
        << QByteArray(R"({\rtf1\pard\intbl a\par b\cell c\par\cell\row})") << QStringLiteral("a b\tc");
    QTest::newRow("empty cell paragraphs")
        << QByteArray(R"({\rtf1\pard\intbl\par\cell\par\cell C\par\cell\row})") << QStringLiteral("\t\tC");
    QTest::newRow("table left without its row end")
        << QByteArray(R"({\rtf1{\pard\intbl A\par}{\pard B\par}})") << QStringLiteral("A\nB");

    // Lists numbered from \pn when the marker group shows none
    QTest::newRow("pn decimal from start")
        << QByteArray(R"({\rtf1{\pntext \tab}{\*\pn\pnlvlbody\pndec\pnstart3{\pntxta )}}a\par{\pntext \tab}b\par})")
        << QStringLiteral("3)\ta\n4)\tb");
    QTest::newRow("pn restarts after a plain paragraph")
        << QByteArray(R"({\rtf1{\*\pn\pndec}{\pntext }a\par{\pntext }b\par\pard c\par{\*\pn\pndec}{\pntext }d})")
        << QStringLiteral("1\ta\n2\tb\nc\n1\td");
    QTest::newRow("ls counts on across paragraphs")
        << QByteArray(R"({\rtf1\ls2{\*\pn\pnucrm\pnstart4{\pntxta .}}{\listtext }a\par\pard x\par)"
                      R"(\ls2{\*\pn\pnucrm{\pntxta .}}{\listtext }b})")
        << QStringLiteral("IV.\ta\nx\nV.\tb");
    QTest::newRow("letters and bullets") << QByteArray(
        R"({\rtf1{\fonttbl{\f1\fcharset2 Symbol;}}{\*\pn\pnlcltr\pnstart27}{\pntext }a\par\pard)"
        R"({\*\pn\pnlvlblt\pnf1{\pntxtb\'b7}}{\pntext }b})")
                                         << QStringLiteral("aa\ta\n\u2022\tb");
}

void ReaderTest::handWrittenInput()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(readToText(rtf), text);
}

// A colour table that starts with ';' makes \cf0 the automatic colour; one that starts with a colour (as
// AbiWord writes it) makes \cf0 that colour.
void ReaderTest::colourTableWithAndWithoutAutomaticEntry()
{
    QTextDocument automatic;
    rtf::readRtf(R"({\rtf1{\colortbl;\red255\green0\blue0;}a\cf1 b\cf0 c\cf7 d})", automatic);
    QTextDocument black;
    rtf::readRtf(R"({\rtf1{\colortbl\red0\green0\blue0;\red255\green0\blue0;}a\cf1 b})", black);

    const auto formatAt = [&](QTextDocument& document, int position) {
        QTextCursor at(&document);
        at.setPosition(position + 1);
        return at.charFormat();
    };
    QVERIFY(!formatAt(automatic, 0).hasProperty(QTextFormat::ForegroundBrush));
    QCOMPARE(colourOf(formatAt(automatic, 1)), QColor(255, 0, 0));
    QVERIFY(!formatAt(automatic, 2).hasProperty(QTextFormat::ForegroundBrush));
    QVERIFY(!formatAt(automatic, 3).hasProperty(QTextFormat::ForegroundBrush)); // index past the table
    QCOMPARE(colourOf(formatAt(black, 0)), QColor(0, 0, 0));
    QCOMPARE(colourOf(formatAt(black, 1)), QColor(255, 0, 0));
}

void ReaderTest::hostileInputStaysBounded_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::newRow("open groups only") << QByteArray(200000, '{');
    QTest::newRow("closing groups only") << "{\\rtf1" + QByteArray(200000, '}');
    QTest::newRow("huge bin") << QByteArray("{\\rtf1\\bin2147483647999 x}");
    QTest::newRow("huge parameters") << QByteArray(
        "{\\rtf1\\fs99999999999999\\li-99999999999\\tx999999999999\\cf99999999\\u99999999 a}");
    QTest::newRow("long word") << "{\\rtf1\\" + QByteArray(100000, 'a') + " b}";
    QTest::newRow("long digits") << "{\\rtf1\\b" + QByteArray(100000, '9') + " b}";
    QTest::newRow("long number affix repeated") << "{\\rtf1{\\*\\pn\\pndec{\\pntxtb " + QByteArray(100000, 'A') + "}}"
            + QByteArray("{\\listtext}\\par").repeated(2000) + "}";
    QTest::newRow("many tab stops") << "{\\rtf1" + QByteArray("\\tx100").repeated(20000)
            + QByteArray("{}").repeated(900) + "}";
    QTest::newRow("starred at the root") << QByteArray("{\\*\\rtf1 a}b");
    QTest::newRow("backslash at the end") << QByteArray("{\\rtf1 a\\");
    QTest::newRow("hex cut short") << QByteArray("{\\rtf1 a\\'e");
}

// Whatever the input, reading ends and the text stays in proportion to it.
void ReaderTest::hostileInputStaysBounded()
{
    QFETCH(QByteArray, rtf);
    QTextDocument document;
    rtf::readRtf(rtf, document);
    QVERIFY(document.characterCount() <= 2 * rtf.size() + 1);
}

// Samples with bytes changed, inserted and cut: no crash (sanitizers watch), no hang, bounded text.
void ReaderTest::damagedSamplesNeverCrash()
{
    std::mt19937 random(20240611);
    const QByteArray tokens[] = {"{", "}", "\\", "\\'", "\\u-", "\\bin", "\\*", "\\uc9", "\\par", "\\ls1", "0", "\r\n"};
    for (const char* name :
         {"lo_instrukce", "pandoc_nacvik", "pandoc_tabulka", "abiword_hlavni_test", "wordpad_konec"}) {
        const QByteArray original = testData(QString::fromLatin1(name) + QStringLiteral(".rtf"));
        for (int round = 0; round < 150; ++round) {
            QByteArray damaged = original;
            for (int change = 0; change < 8 && !damaged.isEmpty(); ++change) {
                const auto at = static_cast<qsizetype>(random() % static_cast<unsigned>(damaged.size()));
                switch (random() % 4) {
                case 0:
                    damaged[at] = static_cast<char>(random() % 256);
                    break;
                case 1:
                    damaged.insert(at, tokens[random() % std::size(tokens)]);
                    break;
                case 2:
                    damaged.remove(at, 1 + static_cast<qsizetype>(random() % 40));
                    break;
                default:
                    damaged.truncate(std::max<qsizetype>(at, 1));
                    break;
                }
            }
            QTextDocument document;
            rtf::readRtf(damaged, document);
            QVERIFY(document.characterCount() <= 2 * damaged.size() + 1);
        }
    }
}

void ReaderTest::replacesTheWholeDocument()
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("old\ntext"));
    QTextCursor(&document).insertText(QStringLiteral("x")); // something on the undo stack
    rtf::readRtf(R"({\rtf1 new})", document);
    QCOMPARE(document.toPlainText(), QStringLiteral("new"));
    QCOMPARE(document.blockCount(), 1);
    QVERIFY(!document.isUndoAvailable());
    rtf::readRtf(QByteArrayView(), document);
    QVERIFY(document.isEmpty());
}

QTEST_MAIN(ReaderTest)
#include "reader_test.moc"
