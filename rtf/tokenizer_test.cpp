#include "rtf/tokenizer.h"

#include <QStringList>
#include <QTest>

namespace {

// The tokens of `data` in a compact notation: { } w:name[=parameter] s:symbol h:hex t:"text" b:"bytes".
QString tokensOf(QByteArrayView data)
{
    QStringList out;
    rtf::Tokenizer tokenizer(data);
    for (rtf::Token token = tokenizer.next(); token.kind != rtf::Token::Kind::End; token = tokenizer.next()) {
        const QString bytes = QString::fromLatin1(token.bytes);
        switch (token.kind) {
        case rtf::Token::Kind::GroupStart:
            out << QStringLiteral("{");
            break;
        case rtf::Token::Kind::GroupEnd:
            out << QStringLiteral("}");
            break;
        case rtf::Token::Kind::ControlWord:
            out << QStringLiteral("w:") + bytes
                    + (token.hasParameter ? QStringLiteral("=") + QString::number(token.parameter) : QString());
            break;
        case rtf::Token::Kind::ControlSymbol:
            out << QStringLiteral("s:") + QChar(token.value);
            break;
        case rtf::Token::Kind::HexByte:
            out << QStringLiteral("h:") + QString::number(token.value, 16);
            break;
        case rtf::Token::Kind::Text:
            out << QStringLiteral("t:\"") + bytes + QLatin1Char('"');
            break;
        case rtf::Token::Kind::Binary:
            out << QStringLiteral("b:\"") + bytes + QLatin1Char('"');
            break;
        case rtf::Token::Kind::End:
            break;
        }
    }
    return out.join(QLatin1Char(' '));
}

} // namespace

class TokenizerTest : public QObject
{
    Q_OBJECT

private slots:
    void splitsTokens_data();
    void splitsTokens();
};

void TokenizerTest::splitsTokens_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("tokens");

    QTest::newRow("groups, words, text") << QByteArray(R"({\rtf1\ansi Hello})")
                                         << QStringLiteral(R"({ w:rtf=1 w:ansi t:"Hello" })");
    QTest::newRow("one delimiter space only") << QByteArray(R"(\b  x)") << QStringLiteral(R"(w:b t:" x")");
    QTest::newRow("negative parameter") << QByteArray(R"(\fi-360\li0)") << QStringLiteral("w:fi=-360 w:li=0");
    QTest::newRow("hyphen without digits is text") << QByteArray(R"(\b-x)") << QStringLiteral(R"(w:b t:"-x")");
    QTest::newRow("parameter ends at a letter") << QByteArray(R"(\fs24x)") << QStringLiteral(R"(w:fs=24 t:"x")");
    QTest::newRow("parameter clamped") << QByteArray(R"(\u99999999999999)") << QStringLiteral("w:u=1000000000");
    QTest::newRow("negative parameter clamped")
        << QByteArray(R"(\u-99999999999999)") << QStringLiteral("w:u=-1000000000");
    QTest::newRow("long word cut") << QByteArray("\\" + QByteArray(40, 'a') + "1")
                                   << QStringLiteral("w:") + QString(32, QLatin1Char('a')) + QStringLiteral("=1");
    QTest::newRow("symbols") << QByteArray(R"(\*\~\{\\\')") << QStringLiteral(R"(s:* s:~ s:{ s:\)");
    QTest::newRow("hex bytes") << QByteArray(R"(\'e8\'9Ax)") << QStringLiteral(R"(h:e8 h:9a t:"x")");
    QTest::newRow("hex cut short") << QByteArray(R"(\'e)") << QStringLiteral(R"(t:"e")");
    QTest::newRow("bad hex skipped") << QByteArray(R"(\'zz)") << QStringLiteral(R"(t:"zz")");
    QTest::newRow("line ends dropped") << QByteArray("a\r\nb\rc\n") << QStringLiteral(R"(t:"a" t:"b" t:"c")");
    QTest::newRow("backslash before line end") << QByteArray("\\\nx") << QStringLiteral("s:\n t:\"x\"");
    QTest::newRow("backslash at the end") << QByteArray("a\\") << QStringLiteral(R"(t:"a")");
    QTest::newRow("bin takes its bytes") << QByteArray(R"(\bin3 }{\\b x)") << QStringLiteral(R"(b:"}{\" w:b t:"x")");
    QTest::newRow("bin bounded by the data") << QByteArray(R"(\bin99 ab)") << QStringLiteral(R"(b:"ab")");
    QTest::newRow("bin without parameter") << QByteArray(R"(\bin x)") << QStringLiteral(R"(b:"" t:"x")");
    QTest::newRow("negative bin") << QByteArray(R"(\bin-5 x)") << QStringLiteral(R"(b:"" t:"x")");
}

void TokenizerTest::splitsTokens()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, tokens);
    QCOMPARE(tokensOf(rtf), tokens);
}

QTEST_MAIN(TokenizerTest)
#include "tokenizer_test.moc"
