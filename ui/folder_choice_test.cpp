#include "ui/common/message_box.h"
#include "ui/folder_choice.h"

#include <deque>
#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace ui {

// The choice with a scripted dialog: each opening of the dialog records the folder it opened in and
// answers with the next folder of `answers` ("" is Cancel).
class FolderChoiceTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    std::deque<QString> m_answers;
    QStringList m_openedIn;

    QString path(const QString& name) const { return m_root.filePath(name); }

    QString makeFolder(const QString& name, const QStringList& files = {}) const
    {
        QDir(m_root.path()).mkpath(name);
        for (const QString& file : files) {
            QFile out(QDir(path(name)).filePath(file));
            if (!out.open(QIODevice::WriteOnly) || out.write(file.toUtf8() + "\r\n") < 0) {
                qFatal("cannot write a fixture");
            }
        }
        return path(name);
    }

    QSettings settings() const { return QSettings(path(QStringLiteral("tivora.conf")), QSettings::IniFormat); }

    // Runs one choice with the dialog answering `answers` in turn.
    QString choose(std::deque<QString> answers, const QString& sample, const QString& startFolder = QString())
    {
        m_answers = std::move(answers);
        m_openedIn.clear();
        QSettings store(path(QStringLiteral("tivora.conf")), QSettings::IniFormat);
        FolderChoice choice(store, sample, [this](const QString& start) {
            m_openedIn.append(start);
            if (m_answers.empty()) {
                qFatal("the dialog opened once more than the test expected");
            }
            const QString answer = m_answers.front();
            m_answers.pop_front();
            return answer;
        });
        return choice.choose(startFolder);
    }

    QString sample() const { return path(QStringLiteral("sample")); }
    QString remembered() const { return settings().value(QLatin1String(FolderChoice::kSettingsKey)).toString(); }

    static QStringList filesIn(const QString& folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                      QDir::Name);
    }

    static void expectBox(MessageBox::Icon icon, const QString& part)
    {
        const std::vector<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), std::size_t {1});
        QCOMPARE(shown.front().icon, icon);
        QVERIFY2(shown.front().text.contains(part), qPrintable(shown.front().text));
    }

private slots:
    void init()
    {
        QFile::remove(path(QStringLiteral("tivora.conf")));
        QDir(sample()).removeRecursively();
        makeFolder(QStringLiteral("sample"),
                   {QStringLiteral("program.txt"), QStringLiteral("tivora1.rtf"), QStringLiteral("tivora2.rtf")});
        MessageBox::setAutoAnswer(true);
        MessageBox::takeShown();
    }

    void cancelledDialogEndsQuietly()
    {
        QCOMPARE(choose({QString()}, sample()), QString());
        QCOMPARE(m_openedIn, QStringList {QDir::homePath()});
        QVERIFY(MessageBox::takeShown().empty());
        QVERIFY(!settings().contains(QLatin1String(FolderChoice::kSettingsKey)));
    }

    void theChoiceIsRememberedForTheNextStart()
    {
        const QString lab = makeFolder(QStringLiteral("lab"), {QStringLiteral("program.txt")});
        QCOMPARE(choose({lab}, sample()), lab);
        QVERIFY(MessageBox::takeShown().empty());
        QCOMPARE(remembered(), lab);

        // The next dialog opens there, and a cancelled one keeps the choice.
        QCOMPARE(choose({QString()}, sample()), QString());
        QCOMPARE(m_openedIn, QStringList {lab});
        QCOMPARE(remembered(), lab);

        // A folder given on the command line comes first; a remembered folder that is gone falls back
        // to the home folder.
        const QString other = makeFolder(QStringLiteral("other"));
        QCOMPARE(choose({QString()}, sample(), other), QString());
        QCOMPARE(m_openedIn, QStringList {other});
        QVERIFY(QDir(lab).removeRecursively());
        QCOMPARE(choose({QString()}, sample()), QString());
        QCOMPARE(m_openedIn, QStringList {QDir::homePath()});
    }

    void unwritableFolderIsRefused_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("needsPermissions");
        // Nobody, not even the superuser, creates files in /proc.
        QTest::newRow("system folder") << QStringLiteral("/proc") << false;
        QTest::newRow("read-only folder") << QStringLiteral("readonly") << true;
    }

    void unwritableFolderIsRefused()
    {
#ifndef Q_OS_LINUX
        QSKIP("the unwritable folders are made the Linux way");
#else
        QFETCH(QString, folder);
        QFETCH(bool, needsPermissions);
        if (needsPermissions) {
            if (::geteuid() == 0) {
                QSKIP("the superuser writes into a read-only folder");
            }
            folder = makeFolder(folder);
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        const QString lab = makeFolder(QStringLiteral("lab"), {QStringLiteral("program.txt")});
        QCOMPARE(choose({folder, lab}, sample()), lab);
        expectBox(MessageBox::Icon::Stop,
                  QStringLiteral("Do složky %1 nelze zapisovat, výsledky testů by se do ní neuložily. Vyberte jinou "
                                 "složku.")
                      .arg(QDir::toNativeSeparators(folder)));
        // The dialog opened again where the examiner was.
        QCOMPARE(m_openedIn, (QStringList {QDir::homePath(), folder}));
        QCOMPARE(remembered(), lab);

        // Refused and then cancelled: nothing chosen, nothing remembered.
        QVERIFY(QFile::remove(path(QStringLiteral("tivora.conf"))));
        QCOMPARE(choose({folder, QString()}, sample()), QString());
        QCOMPARE(MessageBox::takeShown().size(), std::size_t {1});
        QVERIFY(remembered().isEmpty());
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
    }

    void emptyFolderGetsTheSampleWhenAccepted()
    {
        const QString empty = makeFolder(QStringLiteral("new"));
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        QCOMPARE(choose({empty}, sample()), empty);
        expectBox(MessageBox::Icon::Question,
                  QStringLiteral("Složka %1 je prázdná.").arg(QDir::toNativeSeparators(empty)));
        QCOMPARE(filesIn(empty), filesIn(sample()));
        for (const QString& name : filesIn(sample())) {
            QFile copy(QDir(empty).filePath(name));
            QVERIFY(copy.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), name.toUtf8() + "\r\n");
        }
        QCOMPARE(remembered(), empty);
    }

    void otherwiseTheFolderIsLeftAsItIs()
    {
        // Declined: the empty folder is the test folder (the program then reports the missing program).
        const QString empty = makeFolder(QStringLiteral("declined"));
        MessageBox::setNextAnswer(MessageBox::Answer::Cancel);
        QCOMPARE(choose({empty}, sample()), empty);
        QCOMPARE(MessageBox::takeShown().size(), std::size_t {1});
        QVERIFY(filesIn(empty).isEmpty());

        // A folder with anything in it is not offered the sample, nor is any folder when no sample is
        // installed.
        const QString used = makeFolder(QStringLiteral("used"), {QStringLiteral(".poznamky")});
        QCOMPARE(choose({used}, sample()), used);
        const QString another = makeFolder(QStringLiteral("another"));
        QCOMPARE(choose({another}, path(QStringLiteral("not installed"))), another);
        QVERIFY(MessageBox::takeShown().empty());
        QVERIFY(filesIn(another).isEmpty());
    }

    void failedCopyLeavesTheFolderEmpty()
    {
#ifndef Q_OS_LINUX
        QSKIP("the broken sample file is made the Linux way");
#else
        // A sample file that is gone from under its link: the copy fails after the first files.
        QVERIFY(QFile::remove(QDir(sample()).filePath(QStringLiteral("tivora2.rtf"))));
        QVERIFY(QFile::link(path(QStringLiteral("gone.rtf")), QDir(sample()).filePath(QStringLiteral("tivora2.rtf"))));
        const QString empty = makeFolder(QStringLiteral("failed"));
        MessageBox::setNextAnswer(MessageBox::Answer::Ok);
        QCOMPARE(choose({empty, QString()}, sample()), QString());
        const std::vector<MessageBox::Shown> shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), std::size_t {2});
        QVERIFY2(shown[1].text.startsWith(
                     QStringLiteral("Ukázkový test se nepodařilo zkopírovat do složky %1 (tivora2.rtf: ")
                         .arg(QDir::toNativeSeparators(empty))),
                 qPrintable(shown[1].text));
        QVERIFY2(filesIn(empty).isEmpty(), qPrintable(filesIn(empty).join(QLatin1Char(' '))));
        QCOMPARE(m_openedIn, (QStringList {QDir::homePath(), empty}));
        QVERIFY(remembered().isEmpty());
#endif
    }
};

} // namespace ui

QTEST_MAIN(ui::FolderChoiceTest)
#include "folder_choice_test.moc"
