#include "ui/common/application.h"
#include "ui/common/message_box.h"

#include <stdexcept>

#include <QTest>

namespace ui {

class ApplicationTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { MessageBox::takeShown(); }

    void titleRule()
    {
        QCOMPARE(applicationTitle(QStringLiteral("/usr/local/bin/tivora")), QStringLiteral("tivora"));
        QCOMPARE(applicationTitle(QStringLiteral("C:/Testy/TIVORA.EXE")), QStringLiteral("Tivora"));
        QCOMPARE(applicationTitle(QStringLiteral("/opt/x.y/Reakce.v2.exe")), QStringLiteral("Reakce"));
        QCOMPARE(applicationTitle(QStringLiteral("/opt/ŽLUŤ")), QStringLiteral("Žluť"));
    }

    void periodRule_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("file name") << "Cannot open file program.txt"
                                   << "Cannot open file program.txt.";
        QTest::newRow("empty name") << "Cannot open file "
                                    << "Cannot open file ";
        QTest::newRow("quote") << "'x' is not a valid integer value for field 'POC_1SER'"
                               << "'x' is not a valid integer value for field 'POC_1SER'";
        QTest::newRow("period") << "Field data too long :4 (must be between 1 and 3)."
                                << "Field data too long :4 (must be between 1 and 3).";
        QTest::newRow("parenthesis") << "Invalid field count : 0 (must be between 1 and 4095)"
                                     << "Invalid field count : 0 (must be between 1 and 4095)";
        QTest::newRow("digit") << "range is -32768 to 32767"
                               << "range is -32768 to 32767.";
        QTest::newRow("Czech letter") << "čtení"
                                      << "čtení.";
        QTest::newRow("empty") << ""
                               << "";
    }

    void periodRule()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(withFinalPeriod(message), shown);
    }

    void guardedShowsTheErrorAndGoesOn()
    {
        MessageBox::setAutoAnswer(true);
        bool after = false;
        guarded(nullptr, [&] {
            throw std::runtime_error("Cannot open file tivora1.rtf");
            after = true;
        });
        QVERIFY(!after);
        const auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), std::size_t {1});
        QCOMPARE(shown[0].icon, MessageBox::Icon::Stop);
        QCOMPARE(shown[0].text, QStringLiteral("Cannot open file tivora1.rtf."));
        QCOMPARE(shown[0].title, Application::title());
        MessageBox::setAutoAnswer(false);
    }
};

} // namespace ui

int main(int argc, char* argv[])
{
    ui::Application app(argc, argv);
    ui::ApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "application_test.moc"
