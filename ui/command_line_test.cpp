#include "ui/command_line.h"
#include "ui/test_support.h"

#include <QTest>

namespace ui {

namespace {

StartRequest parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("/usr/bin/tivora"));
    return parseCommandLine(arguments);
}

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT

private slots:
    void startsLikeToday()
    {
        const StartRequest request = parse({});
        QCOMPARE(request.action, StartRequest::Action::Test);
        QVERIFY(request.folder.isEmpty());
        // Without a folder the current directory stays as it is.
        testing::WorkingFolder folder;
        QVERIFY(!enterTestFolder(request));
        QCOMPARE(QDir::currentPath(), folder.path());
    }

    void requests_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<StartRequest::Action>("action");
        QTest::addColumn<QString>("folder");
        QTest::newRow("folder") << QStringList {"/srv/testy"} << StartRequest::Action::Test << "/srv/testy";
        QTest::newRow("Czech folder") << QStringList {"Měření žáků"} << StartRequest::Action::Test << "Měření žáků";
        QTest::newRow("folder like an option") << QStringList {"--", "-x"} << StartRequest::Action::Test << "-x";
        QTest::newRow("choose") << QStringList {"--choose-folder"} << StartRequest::Action::ChooseFolder << "";
        QTest::newRow("choose from") << QStringList {"--choose-folder", "/srv/testy"}
                                     << StartRequest::Action::ChooseFolder << "/srv/testy";
        QTest::newRow("choose after") << QStringList {"/srv/testy", "--choose-folder"}
                                      << StartRequest::Action::ChooseFolder << "/srv/testy";
        QTest::newRow("self-test") << QStringList {"--self-test"} << StartRequest::Action::SelfTest << "";
    }

    void requests()
    {
        QFETCH(QStringList, arguments);
        QFETCH(StartRequest::Action, action);
        QFETCH(QString, folder);
        const StartRequest request = parse(arguments);
        QCOMPARE(request.action, action);
        QCOMPARE(request.folder, folder);
    }

    void answers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("beginning");
        QTest::newRow("help") << QStringList {"--help"} << 0 << "Usage: /usr/bin/tivora [options] [složka]\n";
        QTest::newRow("short help") << QStringList {"-h", "/srv"} << 0 << "Usage: /usr/bin/tivora";
        QTest::newRow("version") << QStringList {"--version"} << 0 << "tivora " TIVORA_VERSION "\n";
        QTest::newRow("short version") << QStringList {"-v"} << 0 << "tivora " TIVORA_VERSION "\n";
        QTest::newRow("unknown") << QStringList {"--self-destruct"} << 1
                                 << "/usr/bin/tivora: Unknown option 'self-destruct'.\n"
                                    "Nápověda: /usr/bin/tivora --help\n";
        QTest::newRow("two folders") << QStringList {"/a", "/b"} << 1
                                     << "/usr/bin/tivora: Zadejte nejvýš jednu složku.\n";
    }

    void answers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, beginning);
        const StartRequest request = parse(arguments);
        QCOMPARE(request.action, StartRequest::Action::Answer);
        QCOMPARE(request.exitCode, exitCode);
        QVERIFY2(request.output.startsWith(beginning), qPrintable(request.output));
    }

    void helpNamesEveryOption()
    {
        const QString help = parse({QStringLiteral("--help")}).output;
        for (const char* option : {"--help", "--version", "--choose-folder", "--self-test", "složka"}) {
            QVERIFY2(help.contains(QString::fromUtf8(option)), option);
        }
    }

    void entersTheFolderBeforeTheWindows()
    {
        testing::WorkingFolder start;
        QTemporaryDir other;
        QVERIFY(!enterTestFolder(parse({other.path()})));
        QCOMPARE(QDir::currentPath(), QFileInfo(other.path()).canonicalFilePath());
    }

    void aFolderThatCannotBeEnteredEndsTheProgram()
    {
        testing::WorkingFolder start;
        QCOMPARE(enterTestFolder(parse({start.file(QStringLiteral("chybí"))})).value_or(0), 1);
        QCOMPARE(QDir::currentPath(), start.path());
        QVERIFY(start.write(QStringLiteral("soubor"), "x"));
        QCOMPARE(enterTestFolder(parse({start.file(QStringLiteral("soubor"))})).value_or(0), 1);
        QCOMPARE(QDir::currentPath(), start.path());
    }
};

} // namespace ui

QTEST_MAIN(ui::CommandLineTest)
#include "command_line_test.moc"
